// Capture devices as the system device enumerator lists them, stood in for
// by fakes (Wine has no camera): names, the device bound when several carry
// one name, and the report of a device that cannot be opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/camera.h"
#include "platform/windows/directshow_graph.h"

namespace tessary::directshow {
namespace {

// Plain objects owned by the test: counting is not what is tested here.
#define TESSARY_FIXED_REFERENCES                          \
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; } \
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class FakePropertyBag final : public IPropertyBag {
 public:
  explicit FakePropertyBag(const wchar_t* name) : name_(name) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  TESSARY_FIXED_REFERENCES
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR property, VARIANT* value, IErrorLog*) override {
    if (name_ == nullptr || std::wstring(property) != L"FriendlyName") return E_FAIL;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(name_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  const wchar_t* name_;
};

// A device: its name (null when unreadable) and the filter binding yields,
// or a failure when there is none.
class FakeMoniker final : public IMoniker {
 public:
  FakeMoniker(const wchar_t* name, IBaseFilter* filter) : bag_(name), filter_(filter) {}
  int bindings = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  TESSARY_FIXED_REFERENCES
  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** out) override {
    ++bindings;
    if (filter_ == nullptr) return E_FAIL;
    return filter_->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** out) override {
    if (iid != IID_IPropertyBag) return E_NOINTERFACE;
    *out = &bag_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(IStream*, WINBOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, WINBOOL, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Enum(WINBOOL, IEnumMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return S_FALSE; }

 private:
  FakePropertyBag bag_;
  IBaseFilter* filter_;
};

class FakeDevices final : public ICreateDevEnum, public IEnumMoniker {
 public:
  std::vector<FakeMoniker*> devices;
  GUID askedCategory = GUID_NULL;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_ICreateDevEnum) return E_NOINTERFACE;
    *out = static_cast<ICreateDevEnum*>(this);
    return S_OK;
  }
  TESSARY_FIXED_REFERENCES
  HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD) override {
    askedCategory = category;
    next_ = 0;
    *out = devices.empty() ? nullptr : static_cast<IEnumMoniker*>(this);
    return devices.empty() ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG, IMoniker** out, ULONG* fetched) override {
    if (next_ >= devices.size()) return S_FALSE;
    *out = devices[next_++];
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker**) override { return E_NOTIMPL; }

 private:
  std::size_t next_ = 0;
};

#pragma GCC diagnostic pop
#undef TESSARY_FIXED_REFERENCES

class DirectShowDeviceTest : public ::testing::Test {
 protected:
  DirectShowDeviceTest()
      : backend(makeBackend(makeDeviceSourceKind(), [this](REFCLSID classId, REFIID iid, void** out) {
          if (classId == CLSID_SystemDeviceEnum) return devices.QueryInterface(iid, out);
          return createInProcess(classId, iid, out);
        })) {}

  ApartmentScope apartment;
  FakeDevices devices;
  std::unique_ptr<CaptureBackend> backend;
};

TEST_F(DirectShowDeviceTest, ListsReadableNamesAndBindsTheLastDeviceCarryingOne) {
  FakeMoniker first(L"Cam A", nullptr);
  FakeMoniker unnamed(nullptr, nullptr);
  FakeMoniker other(L"Cam B", nullptr);
  FakeMoniker second(L"Cam A", nullptr);
  devices.devices = {&first, &unnamed, &other, &second};

  Camera camera(*backend);
  ASSERT_TRUE(camera.setupGraph());
  camera.enumerateDevices();
  // Listed and bound from the same category, so every listed name can bind.
  EXPECT_EQ(devices.askedCategory, CLSID_VideoInputDeviceCategory);
  ASSERT_EQ(camera.deviceCount(), 3);
  EXPECT_STREQ(camera.getDeviceName(0), "Cam A");
  EXPECT_STREQ(camera.getDeviceName(1), "Cam B");
  EXPECT_STREQ(camera.getDeviceName(2), "Cam A");

  EXPECT_FALSE(camera.selectDevice(0));
  EXPECT_EQ(first.bindings, 0);
  EXPECT_EQ(second.bindings, 1);
  EXPECT_EQ(camera.report(), "Setting up ...\nNo[BindToObject]-Cam A\nNo[CaptureFilter]");
  EXPECT_FALSE(camera.selectDevice(3));
  EXPECT_EQ(other.bindings, 0);
}

TEST_F(DirectShowDeviceTest, DeviceWithoutStreamConfigurationIsBoundWithoutFormats) {
  // A real filter with an output pin but no stream configuration: the file
  // reader, over any file (this program).
  ComPtr<IBaseFilter> reader;
  ASSERT_EQ(createInProcess(CLSID_AsyncReader, IID_IBaseFilter, reader.putVoid()), S_OK);
  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(reader.query(IID_IFileSourceFilter, file), S_OK);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_EQ(file->Load(self, nullptr), S_OK);
  FakeMoniker device(L"Reader", reader.get());
  devices.devices = {&device};

  Camera camera(*backend);
  ASSERT_TRUE(camera.setupGraph());
  camera.enumerateDevices();
  ASSERT_TRUE(camera.selectDevice(0));
  EXPECT_STREQ(camera.getName(), "Reader");
  EXPECT_EQ(camera.report(), "Setting up ...\nNo[IID_IAMStreamConfig]\n");
  camera.enumerateFormats();
  EXPECT_EQ(camera.formatCount(), 0);
  bool ok = true;
  EXPECT_EQ(camera.init(ok), "Setting up ...\nNo[IID_IAMStreamConfig]\nInit without RGB|SIZE selected.\n");
  EXPECT_FALSE(ok);
  // Selecting it again replaces the filter in the graph rather than adding
  // a second one.
  EXPECT_TRUE(camera.selectDevice(0));
  EXPECT_EQ(device.bindings, 2);
}

}  // namespace
}  // namespace tessary::directshow
