// Every GUID of the component, in one place: the C++ interface declarations,
// the type-library generator, the class factories, registration, the
// resource script and the published early-binding header read them from here.
#pragma once

// The default interfaces' identifiers as initialiser parts (data1, data2,
// data3, then the eight bytes), which the resource script also expands.
#define VORN_PARTS_IID__CLSVALUES 0x2e693b62, 0x354a, 0x4cdd, 0xb5, 0x75, 0x83, 0xe9, 0x14, 0x7a, 0x73, 0xfb
#define VORN_PARTS_IID__CLSKEYS 0xe8af5898, 0x2ac5, 0x431c, 0xa4, 0x25, 0x75, 0x54, 0x84, 0xaf, 0xb8, 0xf8
#define VORN_PARTS_IID_CLSVALUE 0x29e139c0, 0x3ce3, 0x4fd8, 0x95, 0xc9, 0x77, 0x2e, 0xc6, 0x7a, 0x2e, 0x63
#define VORN_PARTS_IID__CLSKEY 0x2923128c, 0x7c04, 0x49cb, 0x85, 0x2e, 0x75, 0xc9, 0x33, 0x97, 0xf6, 0xb8

#ifndef RC_INVOKED

#include <guiddef.h>

#define VORN_GUID(parts) VORN_GUID_(parts)
#define VORN_GUID_(d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
  { d1, d2, d3, { b0, b1, b2, b3, b4, b5, b6, b7 } }

namespace vorn::guids {

// {5081970D-F852-4FB9-AB92-78DF4167F32C}
inline constexpr GUID LIBID_VornRegAccLib = {
    0x5081970d, 0xf852, 0x4fb9, {0xab, 0x92, 0x78, 0xdf, 0x41, 0x67, 0xf3, 0x2c}};

// Default interfaces.
// {2E693B62-354A-4CDD-B575-83E9147A73FB}
inline constexpr GUID IID__clsValues = VORN_GUID(VORN_PARTS_IID__CLSVALUES);
// {E8AF5898-2AC5-431C-A425-755484AFB8F8}
inline constexpr GUID IID__clsKeys = VORN_GUID(VORN_PARTS_IID__CLSKEYS);
// {29E139C0-3CE3-4FD8-95C9-772EC67A2E63}
inline constexpr GUID IID_clsValue = VORN_GUID(VORN_PARTS_IID_CLSVALUE);
// {2923128C-7C04-49CB-852E-75C93397F6B8}
inline constexpr GUID IID__clsKey = VORN_GUID(VORN_PARTS_IID__CLSKEY);

// Creatable classes.
// {7AA626FC-D1F9-4802-A172-BF71F6DFEF7E}
inline constexpr GUID CLSID_clsValues = {
    0x7aa626fc, 0xd1f9, 0x4802, {0xa1, 0x72, 0xbf, 0x71, 0xf6, 0xdf, 0xef, 0x7e}};
// {8D71A026-65C0-4C34-B866-440217D21FE7}
inline constexpr GUID CLSID_clsKeys = {
    0x8d71a026, 0x65c0, 0x4c34, {0xb8, 0x66, 0x44, 0x02, 0x17, 0xd2, 0x1f, 0xe7}};
// {7B841ABE-D127-4CE3-BF6A-2B0B2BAD2F82}
inline constexpr GUID CLSID_clsKey = {
    0x7b841abe, 0xd127, 0x4ce3, {0xbf, 0x6a, 0x2b, 0x0b, 0x2b, 0xad, 0x2f, 0x82}};

// ---- Not published: the early-binding header VornRegAccLib.h, which the
// build writes from this file and contract/interfaces.h, ends its copy of
// this file at the line above.

// clsValue has no class object, but the record class keeps an
// identifier of its own for the module's class table and its _IID_ resource.
// {2D39F73A-7D6A-4422-9C0C-1FA8B8CED67D}
inline constexpr GUID CLSID_clsValue = {
    0x2d39f73a, 0x7d6a, 0x4422, {0x9c, 0x0c, 0x1f, 0xa8, 0xb8, 0xce, 0xd6, 0x7d}};

// Library-internal: answered only by key objects of this library, which is how
// the sub-key collection tells its own key objects from foreign ones before it
// asks one to delete its tree. Never registered, never in the type library.
// {7CBAF53D-CCC2-4355-BD54-1B6D340BE495}
inline constexpr GUID IID_VornKeyObject = {
    0x7cbaf53d, 0xccc2, 0x4355, {0xbd, 0x54, 0x1b, 0x6d, 0x34, 0x0b, 0xe4, 0x95}};

}  // namespace vorn::guids

#endif  // RC_INVOKED
