// What each shared library exports. They are built with hidden symbols; a class or
// function marked QV_<LIBRARY>_API is part of the library's interface, and a member of
// such a class marked QV_LOCAL stays inside. A version script per library (cmake/symbols)
// gives the exported names their version node and keeps everything else local.
// CMake defines <target>_EXPORTS while it compiles a shared library's own sources.
#pragma once

#include "common/Version.h"

#if defined(_WIN32)
#define QV_DECL_EXPORT __declspec(dllexport)
#define QV_DECL_IMPORT __declspec(dllimport)
#define QV_LOCAL
#else
#define QV_DECL_EXPORT __attribute__((visibility("default")))
#define QV_DECL_IMPORT __attribute__((visibility("default")))
#define QV_LOCAL __attribute__((visibility("hidden")))
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
