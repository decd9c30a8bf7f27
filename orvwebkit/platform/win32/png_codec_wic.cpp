// PNG through the Windows Imaging Component, which ships with every Windows
// the product supports.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstring>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

template <typename T>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() {
    if (pointer_) pointer_->Release();
  }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;
  T** Out() { return &pointer_; }
  T* operator->() const { return pointer_; }
  T* get() const { return pointer_; }

 private:
  T* pointer_ = nullptr;
};

// The decoding thread is the library's own; it gets a multithreaded
// apartment for the call. A thread that already has an apartment keeps it.
class ComScope {
 public:
  ComScope() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

bool CreateFactory(ComPointer<IWICImagingFactory>* factory) {
  return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory->Out())));
}

}  // namespace

std::optional<DecodedImage> DecodePng(const std::uint8_t* data, std::size_t size,
                                      std::uint8_t* pixels, std::int32_t stride,
                                      std::int32_t max_width, std::int32_t max_height) {
  ComScope com;
  ComPointer<IWICImagingFactory> factory;
  ComPointer<IWICStream> stream;
  ComPointer<IWICBitmapDecoder> decoder;
  ComPointer<IWICBitmapFrameDecode> frame;
  ComPointer<IWICBitmapSource> converted;
  if (size > 0xFFFFFFFFu || !CreateFactory(&factory) ||
      FAILED(factory->CreateStream(stream.Out())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), &GUID_ContainerFormatPng,
                                              WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
      FAILED(decoder->GetFrame(0, frame.Out()))) {
    return std::nullopt;
  }
  UINT width = 0, height = 0;
  if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > static_cast<UINT>(max_width) || height > static_cast<UINT>(max_height)) {
    return std::nullopt;
  }
  if (FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(),
                                      converted.Out()))) {
    return std::nullopt;
  }
  const WICRect all{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
  const UINT buffer_size = static_cast<UINT>(stride) * height;
  if (FAILED(converted->CopyPixels(&all, static_cast<UINT>(stride), buffer_size, pixels))) {
    return std::nullopt;
  }
  DecodedImage image;
  image.width = static_cast<std::int32_t>(width);
  image.height = static_cast<std::int32_t>(height);
  return image;
}

bool EncodePng(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
               std::int32_t stride, std::vector<std::uint8_t>* png) {
  if (width <= 0 || height <= 0) return false;
  ComScope com;
  ComPointer<IWICImagingFactory> factory;
  ComPointer<IStream> memory;
  ComPointer<IWICBitmapEncoder> encoder;
  ComPointer<IWICBitmapFrameEncode> frame;
  ComPointer<IPropertyBag2> options;
  if (!CreateFactory(&factory) || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, memory.Out())) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) ||
      FAILED(encoder->Initialize(memory.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.Out(), options.Out())) ||
      FAILED(frame->Initialize(options.get())) ||
      FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)))) {
    return false;
  }
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) ||
      !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    return false;
  }
  // The surface's fourth byte is not meaningful for a picture of the view.
  const UINT row_bytes = static_cast<UINT>(width) * 3;
  std::vector<BYTE> bgr(static_cast<std::size_t>(row_bytes) * height);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    BYTE* out = bgr.data() + static_cast<std::size_t>(y) * row_bytes;
    for (std::int32_t x = 0; x < width; ++x) std::memcpy(out + x * 3, in + x * 4, 3);
  }
  if (FAILED(frame->WritePixels(static_cast<UINT>(height), row_bytes,
                                static_cast<UINT>(bgr.size()), bgr.data())) ||
      FAILED(frame->Commit()) || FAILED(encoder->Commit())) {
    return false;
  }
  HGLOBAL global = nullptr;
  if (FAILED(::GetHGlobalFromStream(memory.get(), &global))) return false;
  STATSTG stat{};
  if (FAILED(memory->Stat(&stat, STATFLAG_NONAME))) return false;
  const void* bytes = ::GlobalLock(global);
  if (!bytes) return false;
  png->assign(static_cast<const std::uint8_t*>(bytes),
              static_cast<const std::uint8_t*>(bytes) + stat.cbSize.QuadPart);
  ::GlobalUnlock(global);
  return true;
}

}  // namespace velmora::orvwebkit::platform
