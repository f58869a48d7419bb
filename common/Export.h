// What each of the five shared libraries exports. They are built with hidden symbols;
// a class or function marked QV_<LIBRARY>_API is part of the library's interface.
// CMake defines <target>_EXPORTS while it compiles a shared library's own sources.
#pragma once

#if defined(_WIN32)
#define QV_DECL_EXPORT __declspec(dllexport)
#define QV_DECL_IMPORT __declspec(dllimport)
#else
#define QV_DECL_EXPORT __attribute__((visibility("default")))
#define QV_DECL_IMPORT __attribute__((visibility("default")))
#endif

#ifdef vessel_EXPORTS
#define QV_VESSEL_API QV_DECL_EXPORT
#else
#define QV_VESSEL_API QV_DECL_IMPORT
#endif

#ifdef roster_EXPORTS
#define QV_ROSTER_API QV_DECL_EXPORT
#else
#define QV_ROSTER_API QV_DECL_IMPORT
#endif

#ifdef logbook_EXPORTS
#define QV_LOGBOOK_API QV_DECL_EXPORT
#else
#define QV_LOGBOOK_API QV_DECL_IMPORT
#endif

#ifdef webproc_EXPORTS
#define QV_WEBPROC_API QV_DECL_EXPORT
#else
#define QV_WEBPROC_API QV_DECL_IMPORT
#endif

#ifdef lister_EXPORTS
#define QV_LISTER_API QV_DECL_EXPORT
#else
#define QV_LISTER_API QV_DECL_IMPORT
#endif
