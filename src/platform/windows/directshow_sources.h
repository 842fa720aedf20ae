// Where a capture graph's pictures come from: a capture device bound by its
// friendly name, or a file played through the platform's AVI splitter.
#pragma once

#include <dshow.h>
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_backend.h"
#include "platform/windows/directshow_com.h"

namespace tessary::directshow {

// Makes a COM object by class, CoCreateInstance in process by default. Tests
// put in one that refuses chosen classes.
using ComFactory = std::function<HRESULT(REFCLSID classId, REFIID iid, void** out)>;
HRESULT createInProcess(REFCLSID classId, REFIID iid, void** out);

// The filters a source put into the graph and the pin the chain starts at.
struct BoundSource {
  std::vector<ComPtr<IBaseFilter>> filters;  // in the graph, upstream first
  ComPtr<IPin> output;
  ComPtr<IAMStreamConfig> streamConfig;      // null when formats are fixed
  bool formatsReadable = false;              // capabilities can be listed
};

class GraphSourceKind {
 public:
  virtual ~GraphSourceKind() = default;
  virtual const char* kind() const = 0;
  virtual DeviceListResult listNames(const ComFactory& factory, std::vector<std::string>& names) = 0;
  // Puts the named source into the graph. On failure nothing of it stays
  // there and `error` says why.
  virtual BindResult bind(const ComFactory& factory, IGraphBuilder& graph,
                          ICaptureGraphBuilder2& builder, std::string_view name, BoundSource& bound,
                          std::string& error) = 0;
};

std::unique_ptr<GraphSourceKind> makeDeviceSourceKind();
std::unique_ptr<GraphSourceKind> makeFileSourceKind(std::string path);

// The media subtype's place in our format table.
PixelFormat pixelFormatOf(const GUID& subtype);

// The first pin of the filter in that direction, connected or not.
ComPtr<IPin> findPin(IBaseFilter& filter, PIN_DIRECTION direction);

}  // namespace tessary::directshow
