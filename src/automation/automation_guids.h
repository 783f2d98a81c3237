#pragma once
// The identifiers of the automation object, its dispatch interface and its type library. Scripts,
// typed clients and the registry of every machine that ever ran the program know them: published
// once, never changed. Read by the IDL compiler and by C++ alike, so they are plain text here.

// clang-format off
#define VIDORRA_CLSID_TEXT 71b02b00-684d-4f94-ae1d-3fb8bca2de1a
#define VIDORRA_DIID_TEXT 10f7665c-4f6c-40ea-b141-52510b701b4c
#define VIDORRA_LIBID_TEXT bb5a5b89-d52e-4228-8a3f-8f48b071f0f9
// clang-format on

#define VIDORRA_PROGID "Vidorra.Application"
#define VIDORRA_TYPELIB_FILE "Vidorra.tlb"
#define VIDORRA_TYPELIB_MAJOR 1
#define VIDORRA_TYPELIB_MINOR 0

#define VIDORRA_STRINGIFY2(x) #x
#define VIDORRA_STRINGIFY(x) VIDORRA_STRINGIFY2(x)
