#pragma once
#include <memory>
#include <stdexcept>
#include <string>

namespace Vor {

// An error carried to the host, optionally wrapping the error that caused it.
// Errors are also exceptions so that refused operations can throw them.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, std::shared_ptr<const Error> inner = nullptr)
        : std::runtime_error(message), _inner(std::move(inner)) {}
    std::string getMessage() const { return what(); }
    std::shared_ptr<const Error> getInner() const { return _inner; }

private:
    std::shared_ptr<const Error> _inner;
};

class LogicError : public Error {
public:
    using Error::Error;
    static std::shared_ptr<LogicError> create(const std::string& message,
                                              std::shared_ptr<const Error> inner = nullptr) {
        return std::make_shared<LogicError>(message, std::move(inner));
    }
};

// The outcome of an operation: success, or failure with an error.
class Result {
public:
    Result(bool valid = true) : _valid(valid) {}
    Result(std::shared_ptr<const Error> error) : _valid(error == nullptr), _error(std::move(error)) {}

    bool isValid() const { return _valid; }
    explicit operator bool() const { return _valid; }
    std::shared_ptr<const Error> getError() const { return _error; }
    std::string getMessage() const { return _error ? _error->getMessage() : std::string(); }

private:
    bool _valid;
    std::shared_ptr<const Error> _error;
};

} // namespace Vor
