// Shared helpers of the contract tests: where the module under test is, and
// readable renderings of type-library descriptions for comparisons.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

namespace contract {

using Microsoft::WRL::ComPtr;

// The file named on the command line (the built module, or a bare .tlb), as a
// Windows path. Unix paths are converted through Wine's drive mapping.
const std::wstring& targetPath();

// True when targetPath() names a module (.dll) rather than a bare type library.
bool targetIsModule();

// "BSTR", "VARIANT*", "_clsKey**", "enHKEY*": pointer levels as stars,
// user-defined types by their names in `context`'s library.
std::wstring typeName(ITypeInfo* context, const TYPEDESC& t);

// "[in,out] BSTR*": the parameter's flags, then its type.
std::wstring paramSignature(ITypeInfo* context, const ELEMDESC& e);

// "propget", "propput", "propputref" or "func".
std::wstring invokeKindName(INVOKEKIND k);

// Name of a type info (GetDocumentation(MEMBERID_NIL)).
std::wstring typeInfoName(ITypeInfo* t);

std::wstring guidString(const GUID& g);

}  // namespace contract
