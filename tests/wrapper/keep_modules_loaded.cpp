// Linked into the wrapper tests in sanitizer builds only.
//
// libvlc unloads its plugins (and the libraries they pulled in) when the
// instance is released. Memory those libraries still reach from their static
// storage then looks leaked to LeakSanitizer, and with the code unmapped the
// reports carry no symbols, so they can be neither read nor suppressed one by
// one. Keeping every module mapped leaves that memory reachable; a media or
// player reference that the wrapper itself leaks is heap memory that nothing
// reaches and is still reported.
extern "C" int dlclose(void*) { return 0; }
