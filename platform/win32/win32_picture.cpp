#include "platform/win32/win32_picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/win32/win32_diagnostics.h"

namespace pel {

namespace {

// Releases a COM interface when it goes out of scope.
template <class T>
struct ComRef {
  T* p = nullptr;
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  T** operator&() { return &p; }
};

void Check(HRESULT hr, const char* call) {
  if (SUCCEEDED(hr)) return;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  throw Error(err::kInvalidPicture, DescribeError(err::kInvalidPicture) + ": " + call +
                                        " failed (HRESULT " + code + ": " +
                                        SystemMessage(static_cast<DWORD>(hr)) + ")");
}

// Keeps COM initialised on this thread for the decoder's lifetime; the program's main() has
// usually done so already, which makes this a counted no-op.
struct ComScope {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

}  // namespace

std::wstring PictureResourceName(std::string_view file) {
  std::wstring name;
  for (char c : file) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    name += c == '.' ? L'_' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  return name;
}

Image DecodePicture(const void* data, size_t size) {
  if (data == nullptr || size == 0 || size > 0xFFFFFFFFu)
    throw Error(err::kInvalidPicture, DescribeError(err::kInvalidPicture) + ": no picture data");
  ComScope com;
  ComRef<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)),
        "CoCreateInstance(WICImagingFactory)");
  ComRef<IWICStream> stream;
  Check(factory->CreateStream(&stream), "IWICImagingFactory::CreateStream");
  Check(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)),
                                     static_cast<DWORD>(size)),
        "IWICStream::InitializeFromMemory");
  ComRef<IWICBitmapDecoder> decoder;
  Check(
      factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder),
      "IWICImagingFactory::CreateDecoderFromStream");
  ComRef<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, &frame), "IWICBitmapDecoder::GetFrame");
  ComRef<IWICBitmapSource> bgr;
  Check(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.p, &bgr),
        "WICConvertBitmapSource");
  UINT w = 0, h = 0;
  Check(bgr->GetSize(&w, &h), "IWICBitmapSource::GetSize");
  if (w == 0 || h == 0 || w > 16384 || h > 16384)
    throw Error(err::kInvalidPicture, DescribeError(err::kInvalidPicture) + ": size out of range");
  Image out;
  out.w = static_cast<int32_t>(w);
  out.h = static_cast<int32_t>(h);
  out.px.resize(static_cast<size_t>(w) * h);
  Check(bgr->CopyPixels(nullptr, w * 4, static_cast<UINT>(out.px.size() * 4),
                        reinterpret_cast<BYTE*>(out.px.data())),
        "IWICBitmapSource::CopyPixels");
  // Memory order B, G, R, X reads as 0xXXRRGGBB; the shaping code wants 0x00BBGGRR.
  for (uint32_t& p : out.px) p = ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
  return out;
}

Image LoadPictureResource(HMODULE module, std::string_view file) {
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  const std::wstring name = PictureResourceName(file);
  HRSRC res = FindResourceW(module, name.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    const DWORD code = GetLastError();
    throw Error(err::kFileNotFound,
                "File not found: picture " + std::string(file) +
                    " is not built into the program (FindResourceW: " + SystemMessage(code) + ")");
  }
  return DecodePicture(data, SizeofResource(module, res));
}

}  // namespace pel
