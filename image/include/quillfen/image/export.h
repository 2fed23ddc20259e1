#pragma once
// What the installed shared library (libquillfen.so) exports. Every library is compiled with
// hidden symbols, and the shared library is linked from all of them, so a function is part of
// its interface only when its declaration carries QUILLFEN_EXPORT (and a class, with its
// type information, virtual table and out-of-line members, when its name does). The marked
// declarations are the installed API (docs/api.md): a short list a caller can learn, which
// the engine's own functions can change behind. A script counts them
// (scripts/exported-functions.sh) and the README gives the count.
//
// QUILLFEN_API_BEGIN and QUILLFEN_API_END enclose the declarations of each public header:
// Quillfen's own libraries, programs and tests link the static libraries, where every
// declaration is reachable, marked or not. The markers change no visibility; they keep one
// place where a header's declarations could be given another default.
//
// The loadable modules define QUILLFEN_API_HIDDEN: they carry their own copies of a few
// image functions and export nothing but their entry point.
#if defined(__GNUC__) && !defined(QUILLFEN_API_HIDDEN)
#define QUILLFEN_EXPORT __attribute__((visibility("default")))
#else
#define QUILLFEN_EXPORT
#endif
#define QUILLFEN_API_BEGIN
#define QUILLFEN_API_END
