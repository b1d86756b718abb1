// The owners of app/win/Handles.h under Wine: each releases what it holds exactly once, moves
// hand the one reference on, and put() gives back what was held before a call fills the slot.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <map>
#include <utility>

#include "app/Worker.h"
#include "app/win/Handles.h"

namespace mt {
namespace {

// A COM object on the stack that counts its references and its releases.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!IsEqualIID(iid, IID_IUnknown)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *out = static_cast<IUnknown*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --refs;
  }
  ULONG refs = 1;  // the reference an owner is given
  int releases = 0;
};

TEST(ComPtr, ReleasesOnceAndMovesTheOneReference) {
  Counted a, b;
  {
    ComPtr<IUnknown> p(&a);
    EXPECT_EQ(p.get(), &a);
    ComPtr<IUnknown> q(std::move(p));
    EXPECT_FALSE(p);
    EXPECT_EQ(q.get(), &a);
    ComPtr<IUnknown> r(&b);
    r = std::move(q);  // b's reference goes now, a's moves
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(a.releases, 0);
    EXPECT_EQ(r.get(), &a);
  }
  EXPECT_EQ(a.releases, 1);
  EXPECT_EQ(a.refs, 0u);
  EXPECT_EQ(b.releases, 1);

  Counted c;
  ComPtr<IUnknown> kept(&c);
  IUnknown* raw = kept.release();
  EXPECT_EQ(raw, &c);
  EXPECT_FALSE(kept);
  kept.reset();
  EXPECT_EQ(c.releases, 0);  // released from the owner, not released
}

TEST(ComPtr, PutReleasesWhatWasHeldBeforeTheCallFillsIt) {
  Counted a, b;
  ComPtr<IUnknown> p(&a);
  IUnknown** slot = p.put();
  EXPECT_EQ(a.releases, 1);
  EXPECT_EQ(*slot, nullptr);
  *slot = &b;  // as a call with an out parameter does
  EXPECT_EQ(p.get(), &b);

  // put_void for calls that take an interface ID: the new reference is owned as well.
  ComPtr<IUnknown> q;
  ASSERT_EQ(b.QueryInterface(IID_IUnknown, q.put_void()), S_OK);
  EXPECT_EQ(b.refs, 2u);
  q = ComPtr<IUnknown>();
  p.reset();
  EXPECT_EQ(b.refs, 0u);
  EXPECT_EQ(b.releases, 2);
  EXPECT_EQ(a.releases, 1);
}

// Traits that count what they close, for the generic handle owner.
std::map<int, int> gClosed;
struct CountingTraits {
  static int invalid() { return 0; }
  static void close(int h) { ++gClosed[h]; }
};
using CountedHandle = UniqueHandle<int, CountingTraits>;

TEST(UniqueHandle, ClosesOnceAndPutClosesTheOldHandle) {
  gClosed.clear();
  {
    CountedHandle a(1);
    CountedHandle b(std::move(a));
    EXPECT_FALSE(a);
    CountedHandle c(2);
    c = std::move(b);
    EXPECT_EQ(gClosed, (std::map<int, int>{{2, 1}}));
    *c.put() = 3;
    EXPECT_EQ(gClosed, (std::map<int, int>{{1, 1}, {2, 1}}));
    EXPECT_EQ(c.get(), 3);
  }
  EXPECT_EQ(gClosed, (std::map<int, int>{{1, 1}, {2, 1}, {3, 1}}));
}

TEST(UniqueVariant, ClearsOnceAndMovesWhatItHolds) {
  Counted a, b;
  {
    UniqueVariant v;
    EXPECT_EQ(v.get().vt, VT_EMPTY);
    VARIANT* slot = v.put();
    slot->vt = VT_UNKNOWN;
    slot->punkVal = &a;
    UniqueVariant moved(std::move(v));
    EXPECT_EQ(v.get().vt, VT_EMPTY);
    EXPECT_EQ(moved.get().punkVal, &a);
    VARIANT* again = moved.put();  // a goes before the slot is filled again
    EXPECT_EQ(a.releases, 1);
    again->vt = VT_UNKNOWN;
    again->punkVal = &b;
    EXPECT_EQ(UniqueVariant::Int(7).get().lVal, 7);
  }
  EXPECT_EQ(a.releases, 1);
  EXPECT_EQ(b.releases, 1);
}

TEST(UniqueBstr, CarriesUtf8TextBothWays) {
  const UniqueBstr text(std::string("\\计划任务\\Backup"));
  EXPECT_EQ(::SysStringLen(text.get()), 12u);
  EXPECT_EQ(text.Text(), "\\计划任务\\Backup");
  UniqueBstr filled;
  *filled.put() = ::SysAllocString(L"xml");
  EXPECT_EQ(filled.Text(), "xml");
  EXPECT_EQ(UniqueBstr().Text(), "");
}

TEST(UniqueMenu, DestroysTheMenuWhenTheLastOwnerGoes) {
  HMENU raw = nullptr;
  {
    UniqueMenu menu(::CreatePopupMenu());
    ASSERT_TRUE(menu);
    raw = menu.get();
    UniqueMenu moved(std::move(menu));
    EXPECT_TRUE(::IsMenu(raw));
  }
  EXPECT_FALSE(::IsMenu(raw));
}

TEST(ComScope, UninitialisesOnlyWhatItInitialised) {
  // Each case on a fresh thread, so that the test thread's own COM state does not count.
  HRESULT fresh = E_FAIL, nested = E_FAIL, afterRefused = E_FAIL;
  bool first = false, second = false, refused = true;
  Worker([&] {
    {
      ComScope scope;
      first = scope.Initialised();
      {
        ComScope inner;  // S_FALSE: counted, and undone again
        second = inner.Initialised();
      }
      // Still initialised by the outer scope.
      nested = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (SUCCEEDED(nested)) ::CoUninitialize();
    }
    fresh = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // everything undone
    if (SUCCEEDED(fresh)) ::CoUninitialize();
  }).Join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
  EXPECT_EQ(nested, S_FALSE);
  EXPECT_EQ(fresh, S_OK);

  Worker([&] {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    {
      ComScope scope;  // another model: refused, and so not undone
      refused = !scope.Initialised();
    }
    afterRefused = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(afterRefused)) ::CoUninitialize();
    ::CoUninitialize();
  }).Join();
  EXPECT_TRUE(refused);
  EXPECT_EQ(afterRefused, S_FALSE);  // the thread's own initialisation still stands
}

}  // namespace
}  // namespace mt
