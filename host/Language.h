#pragma once

namespace lng {

// The user interface language: 0 English, 1 Russian.
int language();
// Chooses the language (the host sets it at start; tests switch it).
void setLanguage(int language);

} // namespace lng
