// The conversion units join this library.
