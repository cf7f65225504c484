// The base of the tests that reach the registry: a scratch key of their own,
// the recorder cleared before and after, and the check that no registry
// handle outlived the test. With helpers for the members that the three
// classes share (HKEY, Path, Count, Name, and members taking a name).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "harness/com.h"
#include "harness/registry_recording.h"
#include "harness/scratch_key.h"

namespace vorn::test {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Rec().Reset(); }
  void TearDown() override {
    Rec().Reset();
    EXPECT_EQ(0, Rec().open_handles) << "a registry handle outlived a call";
  }
  static Recorder& Rec() { return Recorder::Get(); }
  static size_t CallsOf(Fn fn) { return Rec().CountOf(fn); }

  ScratchKey scratch_;
};

// Runs body on a thread of its own with the smallest stack Wine gives (1 MB,
// whatever is asked): a walk that went down a tree one nested call per level
// would overflow it some thousands of levels down. Wine sets no limit to a
// tree's depth.
inline DWORD WINAPI RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}
inline void OnASmallStack(const std::function<void()>& body) {
  HANDLE thread = ::CreateThread(nullptr, 1024 * 1024, RunBody, const_cast<std::function<void()>*>(&body),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(nullptr, thread);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
}
// A path of depth components "a" below sub, from a backslash on.
inline std::wstring Deep(int depth) {
  std::wstring path;
  for (int i = 0; i < depth; ++i) path += L"\\a";
  return path;
}

template <typename T>
void SetRoot(T* object, LONG root) { ASSERT_EQ(S_OK, object->put_HKEY(&root)); }
template <typename T>
void SetPath(T* object, const std::wstring& path) { ASSERT_EQ(S_OK, object->put_Path(&B(path).ref())); }
// A new object of class C aimed at path below root (the scratch key's root).
template <typename C>
ComPtr<C> Aimed(const std::wstring& path, LONG root = ScratchKey::kRoot) {
  ComPtr<C> object = C::Create();
  SetRoot(object.get(), root);
  SetPath(object.get(), path);
  return object;
}
template <typename T, typename R>
R Read(T* object, HRESULT (STDMETHODCALLTYPE T::*member)(R*)) {
  R r{};
  EXPECT_EQ(S_OK, (object->*member)(&r));
  return r;
}
template <typename T>
LONG Count(T* object) { return Read(object, &T::get_Count); }
template <typename T>
std::wstring PathOf(T* object) { return W(unique_bstr(Read(object, &T::get_Path)).get()); }
template <typename T>
std::wstring NameOf(T* object) { return W(unique_bstr(Read(object, &T::get_Name)).get()); }
// A collection's item at index, after checking what get_Item returned.
template <typename T, typename R>
ComPtr<R> ItemOf(T* collection, HRESULT (STDMETHODCALLTYPE T::*get)(VARIANT*, R**), unique_variant index, HRESULT hr) {
  ComPtr<R> item;
  EXPECT_EQ(hr, (collection->*get)(&index.ref(), item.put()));
  return item;
}
template <typename T>
auto Item(T* collection, unique_variant index, HRESULT hr = S_OK) {
  return ItemOf(collection, &T::get_Item, std::move(index), hr);
}
// KeyExists, ValueExists, Add or Delete of a name: the result, after checking
// that the member succeeded and left the name variable as it was.
template <typename T, typename I>
bool Ask(T* object, HRESULT (STDMETHODCALLTYPE I::*member)(BSTR*, VARIANT_BOOL*), const std::wstring& name) {
  unique_bstr n = B(name);
  VARIANT_BOOL b = 1;
  EXPECT_EQ(S_OK, (object->*member)(&n.ref(), &b)) << Narrow(name);
  EXPECT_EQ(name, W(n.get()));
  EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE);
  return b == VARIANT_TRUE;
}

}  // namespace vorn::test
