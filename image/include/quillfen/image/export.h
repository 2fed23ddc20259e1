#pragma once
// What the shared libraries export. Every library is compiled with hidden symbols, so a
// declaration is part of a library's interface only when it stands between QUILLFEN_API_BEGIN
// and QUILLFEN_API_END. Each public header (quillfen/<library>/*.h) puts its declarations
// there; what lives in a library's src/ folder, in anonymous namespaces or in the headers of
// detail/ folders that are not installed stays out of the shared libraries' symbol tables
// (the detail/ headers that other Quillfen libraries call are marked too: they are exported
// for Quillfen's own libraries, not installed for callers).
//
// The same objects make the static libraries, where the marks change nothing for a program
// linked to them. The loadable modules define QUILLFEN_API_HIDDEN: they carry their own
// copies of a few image functions and export nothing but their entry point.
#if defined(__GNUC__) && !defined(QUILLFEN_API_HIDDEN)
#define QUILLFEN_API_BEGIN _Pragma("GCC visibility push(default)")
#define QUILLFEN_API_END _Pragma("GCC visibility pop")
#else
#define QUILLFEN_API_BEGIN
#define QUILLFEN_API_END
#endif
