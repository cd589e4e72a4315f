#pragma once
// A base for objects that own a thread, a socket, a file or a registration: a copy would share
// or release twice what the original owns, so copying is refused at compile time.
namespace Vor {

class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace Vor
