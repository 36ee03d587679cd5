#pragma once

// Result codes and entry-point shapes of component libraries.
//
// An add-on component library exports, unmangled:
//   HRESULT createComInstance(const char* componentId, IUnk* outer, void** out);
// An application library loaded by an entry component exports, unmangled:
//   int onLoadEntAddon(IComponentRoot* root);
//   int onUnLoadEntAddon();

#include <cstdint>

class IUnk;
class IComponentRoot;

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);

using CreateComInstanceFunction = HRESULT (*)(const char* componentId, IUnk* outer, void** out);
using OnLoadEntAddonFunction = int (*)(IComponentRoot* root);
using OnUnLoadEntAddonFunction = int (*)();
