// C++ declarations of the four published dual interfaces. The order of the
// virtual functions is the vtable slot order of the type library: slots 0-2
// are IUnknown, 3-6 IDispatch, members follow from slot 7. Enumeration-typed
// parameters are 32-bit signed integers (LONG) on the binary interface.
#pragma once

#include <oaidl.h>

#include "contract/guids.h"

// The type library's two enumerations. Their constants are named REG_* and
// HKEY_* in the library, as the platform's own macros are, so here each
// carries its enumeration's name in front.
enum enValueTypes : LONG {
  enValueTypes_REG_BINARY = 3,
  enValueTypes_REG_DWORD = 4,
  enValueTypes_REG_DWORD_BIG_ENDIAN = 5,
  enValueTypes_REG_DWORD_LITTLE_ENDIAN = 4,
  enValueTypes_REG_EXPAND_SZ = 2,
  enValueTypes_REG_LINK = 6,
  enValueTypes_REG_MULTI_SZ = 7,
  enValueTypes_REG_NONE = 0,
  enValueTypes_REG_RESOURCE_LIST = 8,
  enValueTypes_REG_SZ = 1,
};
// A root key as a signed 32-bit value, sign-extended into a handle.
enum enHKEY : LONG {
  enHKEY_HKEY_LOCAL_MACHINE = static_cast<LONG>(0x80000002),
  enHKEY_HKEY_USERS = static_cast<LONG>(0x80000003),
  enHKEY_HKEY_CURRENT_CONFIG = static_cast<LONG>(0x80000005),
  enHKEY_HKEY_DYN_DATA = static_cast<LONG>(0x80000006),
  enHKEY_HKEY_CURRENT_USER = static_cast<LONG>(0x80000001),
  enHKEY_HKEY_CLASSES_ROOT = static_cast<LONG>(0x80000000),
};

struct _clsValues;
struct _clsKeys;
struct _clsKey;
struct clsValue;

// Default interface of clsValues.
struct _clsValues : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ValueExists(BSTR* ValueName, VARIANT_BOOL* result) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT* Index, clsValue** result) = 0;              // 8
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* result) = 0;                                  // 9
  virtual HRESULT STDMETHODCALLTYPE Add(BSTR* ValueName, VARIANT* Value, LONG* ValueType,
                                        VARIANT_BOOL* result) = 0;                                // 10
  virtual HRESULT STDMETHODCALLTYPE Delete(BSTR* ValueName, VARIANT_BOOL* result) = 0;            // 11
  virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) = 0;                                   // 12
  virtual HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) = 0;                                  // 13
  virtual HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) = 0;                                   // 14
  virtual HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) = 0;                                  // 15
  virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;                                                // 16
};

// Default interface of clsKeys.
struct _clsKeys : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_KeyExists(BSTR* KeyName, VARIANT_BOOL* result) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* result) = 0;                             // 8
  virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT* Index, _clsKey** result) = 0;          // 9
  virtual HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) = 0;                              // 10
  virtual HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) = 0;                             // 11
  virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) = 0;                              // 12
  virtual HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) = 0;                             // 13
  virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;                                           // 14
  virtual HRESULT STDMETHODCALLTYPE Add(BSTR* KeyName, VARIANT_BOOL* result) = 0;            // 15
  virtual HRESULT STDMETHODCALLTYPE Delete(BSTR* KeyName, VARIANT_BOOL* result) = 0;         // 16
};

// The interface of the value record clsValue: three public fields.
struct clsValue : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) = 0;          // 7
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR value) = 0;            // 8
  virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT* result) = 0;      // 9
  virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT* value) = 0;       // 10
  virtual HRESULT STDMETHODCALLTYPE putref_Value(VARIANT* value) = 0;    // 11
  virtual HRESULT STDMETHODCALLTYPE get_ValueType(LONG* result) = 0;     // 12
  virtual HRESULT STDMETHODCALLTYPE put_ValueType(LONG value) = 0;       // 13
};

// Default interface of clsKey. Slots 8 and 11 are the let accessors of the two
// object fields; the type library does not describe them, but they keep their
// places so that every later member has its published slot number.
struct _clsKey : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Values(_clsValues** result) = 0;     // 7
  virtual HRESULT STDMETHODCALLTYPE let_Values(_clsValues* value) = 0;       // 8 (undescribed)
  virtual HRESULT STDMETHODCALLTYPE putref_Values(_clsValues* value) = 0;    // 9
  virtual HRESULT STDMETHODCALLTYPE get_SubKeys(_clsKeys** result) = 0;      // 10
  virtual HRESULT STDMETHODCALLTYPE let_SubKeys(_clsKeys* value) = 0;        // 11 (undescribed)
  virtual HRESULT STDMETHODCALLTYPE putref_SubKeys(_clsKeys* value) = 0;     // 12
  virtual HRESULT STDMETHODCALLTYPE get_Exists(VARIANT_BOOL* result) = 0;    // 13
  virtual HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) = 0;              // 14
  virtual HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) = 0;             // 15
  virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) = 0;              // 16
  virtual HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) = 0;             // 17
  virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;                           // 18
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) = 0;              // 19
};

// Members beyond the type library: served through IDispatch only, by name
// (GetIDsOfNames, letter case ignored) or by these dispatch identifiers,
// which the type library does not use. Early binding does not see them.
enum VornExtraDispid : DISPID {
  VORN_DISPID_GETVALUE = 0x60100001,       // clsValues.GetValue(ValueName)
  VORN_DISPID_SETVALUE = 0x60100002,       // clsValues.SetValue(ValueName, Value, ValueType)
  VORN_DISPID_VIEW = 0x68100001,           // View of clsKey, clsKeys and clsValues
  VORN_DISPID_EXPORT = 0x60100003,         // clsKey.Export(FileName [, Overwrite])
  VORN_DISPID_IMPORT = 0x60100004,         // clsKey.Import(FileName)
  VORN_DISPID_COPYTREE = 0x60100005,       // clsKey.CopyTree(Destination)
  VORN_DISPID_RENAME = 0x60100006,         // clsKey.Rename(NewName)
  VORN_DISPID_WAITFORCHANGE = 0x60100007,  // clsKey.WaitForChange(TimeoutMs [, Subtree])
  VORN_DISPID_GETSECURITY = 0x60100008,    // clsKey.GetSecurity([Parts])
  VORN_DISPID_SETSECURITY = 0x60100009,    // clsKey.SetSecurity(Sddl)
  VORN_DISPID_GRANT = 0x6010000A,          // clsKey.Grant(Account, Rights [, SubKeys])
  VORN_DISPID_DENY = 0x6010000B,           // clsKey.Deny(Account, Rights [, SubKeys])
  VORN_DISPID_REVOKE = 0x6010000C,         // clsKey.Revoke(Account)
  VORN_DISPID_CHECKACCESS = 0x6010000D,    // clsKey.CheckAccess(Rights)
  VORN_DISPID_ACCESSRULES = 0x68100002,    // clsKey.AccessRules (read-only)
  VORN_DISPID_FIND = 0x6010000E,           // clsKey.Find(Pattern [, Options])
  VORN_DISPID_FINDSKIPPED = 0x68100003,    // clsKey.FindSkipped (read-only)
  VORN_DISPID_LASTWRITETIME = 0x68100004,  // clsKey.LastWriteTime (read-only)
  VORN_DISPID_SUBKEYCOUNT = 0x68100005,    // clsKey.SubKeyCount (read-only)
  VORN_DISPID_VALUECOUNT = 0x68100006,     // clsKey.ValueCount (read-only)
};
