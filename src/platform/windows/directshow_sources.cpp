#include "platform/windows/directshow_sources.h"

#include <oleauto.h>

#include <filesystem>
#include <utility>

namespace tessary::directshow {
namespace {

// Friendly names are kept to what the camera's name list holds, terminator
// included.
constexpr std::size_t kMaxNameBytes = 2048;

std::string friendlyName(IMoniker& moniker) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker.BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid()))) return {};
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  std::string name;
  if (bag->Read(L"FriendlyName", &value, nullptr) == S_OK && value.vt == VT_BSTR) {
    name = narrowText(value.bstrVal, kMaxNameBytes);
  }
  VariantClear(&value);
  return name;
}

// Walks the video input devices, calling visit(moniker, name) for each one
// whose name can be read.
template <class Visit>
DeviceListResult forEachDevice(const ComFactory& factory, Visit visit) {
  ComPtr<ICreateDevEnum> devices;
  if (FAILED(factory(CLSID_SystemDeviceEnum, IID_ICreateDevEnum, devices.putVoid())) || !devices) {
    return DeviceListResult::kNoEnumerator;
  }
  // Listed from the same category that binding searches, so every listed
  // device can be bound.
  ComPtr<IEnumMoniker> monikers;
  const HRESULT listed = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
  if (FAILED(listed)) return DeviceListResult::kListFailed;
  if (listed != S_OK || !monikers) return DeviceListResult::kListed;  // an empty category
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.put(), nullptr) == S_OK && moniker) {
    std::string name = friendlyName(*moniker);
    if (!name.empty()) visit(moniker, name);
  }
  return DeviceListResult::kListed;
}

void removeAll(IGraphBuilder& graph, std::vector<ComPtr<IBaseFilter>>& filters) {
  for (auto filter = filters.rbegin(); filter != filters.rend(); ++filter) graph.RemoveFilter(filter->get());
  filters.clear();
}

class DeviceSourceKind final : public GraphSourceKind {
 public:
  const char* kind() const override { return "dshow"; }

  DeviceListResult listNames(const ComFactory& factory, std::vector<std::string>& names) override {
    names.clear();
    return forEachDevice(factory, [&](const ComPtr<IMoniker>&, std::string& name) {
      names.push_back(std::move(name));
    });
  }

  BindResult bind(const ComFactory& factory, IGraphBuilder& graph, ICaptureGraphBuilder2& builder,
                  std::string_view name, BoundSource& bound, std::string& error) override {
    bound = BoundSource{};
    bool anyDevice = false;
    ComPtr<IMoniker> chosen;  // the last device carrying the name
    DeviceListResult listed = forEachDevice(factory, [&](const ComPtr<IMoniker>& moniker, const std::string& found) {
      anyDevice = true;
      if (found == name) chosen = moniker;
    });
    if (listed == DeviceListResult::kNoEnumerator) return BindResult::kNoEnumerator;
    if (listed == DeviceListResult::kListFailed) return BindResult::kListFailed;
    if (!anyDevice) return BindResult::kNoDevices;
    if (!chosen) return BindResult::kNotFound;

    ComPtr<IBaseFilter> filter;
    HRESULT result = chosen->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid());
    if (FAILED(result) || !filter) {
      error = describeResult(result);
      return BindResult::kOpenFailed;
    }
    result = graph.AddFilter(filter.get(), nullptr);
    if (FAILED(result)) {
      error = describeResult(result);
      return BindResult::kNotAdded;
    }
    bound.filters.push_back(filter);
    // The capture pin, whose stream configuration sets the format; a device
    // that does not name its pins by category starts at its first output.
    builder.FindPin(filter.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, FALSE, 0,
                    bound.output.put());
    if (!bound.output) bound.output = findPin(*filter, PINDIR_OUTPUT);
    if (!bound.output) {
      removeAll(graph, bound.filters);
      error = "The device has no output pin.";
      return BindResult::kOpenFailed;
    }
    builder.FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter.get(), IID_IAMStreamConfig,
                          bound.streamConfig.putVoid());
    bound.formatsReadable = static_cast<bool>(bound.streamConfig);
    return bound.streamConfig ? BindResult::kBound : BindResult::kBoundWithoutFormats;
  }
};

// The first output pin that offers video.
ComPtr<IPin> findVideoOutput(IBaseFilter& filter) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter.EnumPins(pins.put())) || !pins) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK && pin) {
    PIN_DIRECTION direction;
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.put())) || !types) continue;
    OwnedMediaType type;
    while (types->Next(1, type.put(), nullptr) == S_OK && type.get() != nullptr) {
      if (type.get()->majortype == MEDIATYPE_Video) return pin;
    }
  }
  return nullptr;
}

class FileSourceKind final : public GraphSourceKind {
 public:
  explicit FileSourceKind(std::string path) : path_(std::move(path)) {}

  const char* kind() const override { return "dshow-file"; }

  DeviceListResult listNames(const ComFactory&, std::vector<std::string>& names) override {
    names.clear();
    if (exists()) names.push_back(path_);
    return DeviceListResult::kListed;
  }

  BindResult bind(const ComFactory& factory, IGraphBuilder& graph, ICaptureGraphBuilder2&,
                  std::string_view name, BoundSource& bound, std::string& error) override {
    bound = BoundSource{};
    if (!exists()) return BindResult::kNoDevices;
    if (name != path_) return BindResult::kNotFound;
    auto fail = [&](HRESULT result, BindResult kind) {
      removeAll(graph, bound.filters);
      error = describeResult(result);
      return kind;
    };

    ComPtr<IBaseFilter> reader;
    HRESULT result = factory(CLSID_AsyncReader, IID_IBaseFilter, reader.putVoid());
    if (FAILED(result)) return fail(result, BindResult::kOpenFailed);
    ComPtr<IFileSourceFilter> file;
    result = reader.query(IID_IFileSourceFilter, file);
    if (SUCCEEDED(result)) result = file->Load(wideFromUtf8(path_).c_str(), nullptr);
    if (FAILED(result)) return fail(result, BindResult::kOpenFailed);
    result = graph.AddFilter(reader.get(), L"File");
    if (FAILED(result)) return fail(result, BindResult::kNotAdded);
    bound.filters.push_back(reader);

    ComPtr<IBaseFilter> splitter;
    result = factory(CLSID_AviSplitter, IID_IBaseFilter, splitter.putVoid());
    if (FAILED(result)) return fail(result, BindResult::kOpenFailed);
    result = graph.AddFilter(splitter.get(), L"AVI Splitter");
    if (FAILED(result)) return fail(result, BindResult::kNotAdded);
    bound.filters.push_back(splitter);

    ComPtr<IPin> readerOut = findPin(*reader, PINDIR_OUTPUT);
    ComPtr<IPin> splitterIn = findPin(*splitter, PINDIR_INPUT);
    result = readerOut && splitterIn ? graph.ConnectDirect(readerOut.get(), splitterIn.get(), nullptr)
                                     : E_FAIL;
    if (FAILED(result)) return fail(result, BindResult::kOpenFailed);
    bound.output = findVideoOutput(*splitter);
    if (!bound.output) return fail(VFW_E_NO_ACCEPTABLE_TYPES, BindResult::kOpenFailed);
    bound.formatsReadable = true;
    return BindResult::kBound;
  }

 private:
  bool exists() const {
    std::error_code failure;
    return std::filesystem::is_regular_file(std::filesystem::path(wideFromUtf8(path_)), failure);
  }

  std::string path_;
};

}  // namespace

HRESULT createInProcess(REFCLSID classId, REFIID iid, void** out) {
  return CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

std::unique_ptr<GraphSourceKind> makeDeviceSourceKind() { return std::make_unique<DeviceSourceKind>(); }

std::unique_ptr<GraphSourceKind> makeFileSourceKind(std::string path) {
  return std::make_unique<FileSourceKind>(std::move(path));
}

PixelFormat pixelFormatOf(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB8) return PixelFormat::kRgb8;
  if (subtype == MEDIASUBTYPE_RGB555) return PixelFormat::kRgb555;
  if (subtype == MEDIASUBTYPE_RGB565) return PixelFormat::kRgb565;
  if (subtype == MEDIASUBTYPE_RGB24) return PixelFormat::kRgb24;
  if (subtype == MEDIASUBTYPE_RGB32) return PixelFormat::kRgb32;
  if (subtype == MEDIASUBTYPE_Y411) return PixelFormat::kY411;
  if (subtype == MEDIASUBTYPE_UYVY) return PixelFormat::kUyvy;
  return PixelFormat::kUnsupported;
}

ComPtr<IPin> findPin(IBaseFilter& filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter.EnumPins(pins.put())) || !pins) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK && pin) {
    PIN_DIRECTION found;
    if (SUCCEEDED(pin->QueryDirection(&found)) && found == direction) return pin;
  }
  return nullptr;
}

}  // namespace tessary::directshow
