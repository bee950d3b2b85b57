// The picture decoder on Windows: the Windows Imaging Component, behind the same
// two functions as Qt's reader elsewhere, with the same size limit and refusals.
#include <windows.h>
// after windows.h, which it needs first
#include <wincodec.h>

#include <cstring>

#include "image/picture/picture_decoder.h"
#include "image/picture_checks.h"
#include "base/error.h"

namespace quorlin {

namespace {

// An owned COM interface pointer.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** operator&() { return &p_; }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }

 private:
  T* p_ = nullptr;
};

std::wstring Wide(const std::string& path) {
  std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(wide.size() - 1);
  return wide;
}

std::string Why(HRESULT hr) {
  char text[256] = {};
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr), 0,
                      text, sizeof text, nullptr)) {
    std::snprintf(text, sizeof text, "error 0x%08lx", static_cast<unsigned long>(hr));
  }
  std::string why = text;
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
  return why;
}

// The imaging factory, made once (COM started for this thread first).
IWICImagingFactory* Factory(HRESULT& hr) {
  static IWICImagingFactory* factory = nullptr;
  static HRESULT made = [] {
    HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(started) && started != RPC_E_CHANGED_MODE) return started;
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            reinterpret_cast<void**>(&factory));
  }();
  hr = made;
  return factory;
}

}  // namespace

void DecodePictureInto(const std::string& nativePath, const PixelAllocator& allocate) {
  RefuseBeforeDecoding(nativePath);
  HRESULT hr = S_OK;
  IWICImagingFactory* factory = Factory(hr);
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  Com<IWICBitmapSource> bgr;
  UINT width = 0, height = 0;
  if (SUCCEEDED(hr)) {
    hr = factory->CreateDecoderFromFilename(Wide(nativePath).c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnDemand, &decoder);
  }
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
  if (SUCCEEDED(hr)) RequireLoadableSize(width, height);
  if (SUCCEEDED(hr)) hr = WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame.Get(), &bgr);
  if (SUCCEEDED(hr) && (width == 0 || height == 0)) hr = E_FAIL;
  if (FAILED(hr)) throw QuorlinError(kErrBadFileFormat, "Cannot read " + nativePath + ": " + Why(hr));
  // Decoded straight into the memory the picture is kept in.
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  uint8_t* out = allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), bytes);
  if (!out) throw QuorlinError(kErrOutOfMemory, "Cannot read " + nativePath + ": not enough memory for its pixels");
  hr = bgr->CopyPixels(nullptr, width * 3, static_cast<UINT>(bytes), out);
  if (FAILED(hr)) throw QuorlinError(kErrBadFileFormat, "Cannot read " + nativePath + ": " + Why(hr));
}

void SavePng(const std::string& nativePath, const ImageBuffer& image) {
  if (image.BitsPerPixel != 24 || PixelBytes(image.Width, image.Height) == 0 ||
      image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    throw QuorlinError(kErrPathFileAccess, "Cannot write " + nativePath + ": no 24-bit image");
  }
  HRESULT hr = S_OK;
  IWICImagingFactory* factory = Factory(hr);
  Com<IWICStream> stream;
  Com<IWICBitmapEncoder> encoder;
  Com<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(Wide(nativePath).c_str(), GENERIC_WRITE);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(image.Width), static_cast<UINT>(image.Height));
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR) hr = E_FAIL;
  if (SUCCEEDED(hr)) {
    hr = frame->WritePixels(static_cast<UINT>(image.Height), static_cast<UINT>(image.Width) * 3,
                            static_cast<UINT>(PixelBytes(image.Width, image.Height)),
                            const_cast<BYTE*>(image.Pixels.data()));
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  if (FAILED(hr)) throw QuorlinError(kErrPathFileAccess, "Cannot write " + nativePath + ": " + Why(hr));
}

}  // namespace quorlin
