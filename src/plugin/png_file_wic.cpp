#include "plugin/png_file.h"

#include <windows.h>
#include <wincodec.h>

#include "plugin/com_held.h"

namespace {

// Spelled out rather than linked from a GUID library.
const CLSID ImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const IID ImagingFactoryInterface = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
const GUID PngContainer = {0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
const GUID Bgra32 = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0f}};

using CoInitializeExCall = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeCall = void(WINAPI*)();
using CoCreateInstanceCall = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);

std::wstring wide(const std::string& utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], size);
  out.resize(out.size() - 1);
  return out;
}

std::string encode(IWICImagingFactory* factory, const std::wstring& path, int width, int height,
                   const std::uint32_t* pixels) {
  HRESULT r;
  Held<IWICStream> stream;
  Held<IWICBitmapEncoder> encoder;
  Held<IWICBitmapFrameEncode> frame;
  if (FAILED(r = factory->CreateStream(&stream.p))) return failedStep("making a stream", r);
  if (FAILED(r = stream.p->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) return failedStep("creating the file", r);
  if (FAILED(r = factory->CreateEncoder(PngContainer, nullptr, &encoder.p))) return failedStep("making a PNG encoder", r);
  if (FAILED(r = encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache))) return failedStep("starting the encoder", r);
  if (FAILED(r = encoder.p->CreateNewFrame(&frame.p, nullptr))) return failedStep("making the picture", r);
  if (FAILED(r = frame.p->Initialize(nullptr))) return failedStep("starting the picture", r);
  if (FAILED(r = frame.p->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)))) return failedStep("sizing", r);
  WICPixelFormatGUID format = Bgra32;
  if (FAILED(r = frame.p->SetPixelFormat(&format)) || format != Bgra32) return failedStep("choosing 32-bit BGRA", r);
  // 0xAARRGGBB in memory is B, G, R, A: what 32bppBGRA means.
  const UINT stride = static_cast<UINT>(width) * 4;
  if (FAILED(r = frame.p->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                                      reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(pixels)))))
    return failedStep("writing the pixels", r);
  if (FAILED(r = frame.p->Commit())) return failedStep("finishing the picture", r);
  if (FAILED(r = encoder.p->Commit())) return failedStep("finishing the file", r);
  return "";
}

std::string decode(IWICImagingFactory* factory, const std::wstring& path, PngPicture& picture) {
  HRESULT r;
  Held<IWICBitmapDecoder> decoder;
  Held<IWICBitmapFrameDecode> frame;
  Held<IWICFormatConverter> converter;
  if (FAILED(r = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, &decoder.p)))
    return failedStep("opening the file", r);
  if (FAILED(r = decoder.p->GetFrame(0, &frame.p))) return failedStep("reading the picture", r);
  if (FAILED(r = factory->CreateFormatConverter(&converter.p))) return failedStep("making a converter", r);
  if (FAILED(r = converter.p->Initialize(frame.p, Bgra32, WICBitmapDitherTypeNone, nullptr, 0,
                                         WICBitmapPaletteTypeCustom)))
    return failedStep("converting to 32-bit BGRA", r);
  UINT width = 0, height = 0;
  converter.p->GetSize(&width, &height);
  picture.pixels.resize(static_cast<std::size_t>(width) * height);
  if (FAILED(r = converter.p->CopyPixels(nullptr, width * 4, width * height * 4,
                                         reinterpret_cast<BYTE*>(picture.pixels.data()))))
    return failedStep("copying the pixels", r);
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  return "";
}

// Runs work(imaging factory) with COM started on this thread; returns its error or why the
// imaging component cannot be had.
template <typename Work>
std::string withCom(Work&& work) {
  HMODULE ole = LoadLibraryA("ole32.dll");  // stays loaded: COM may keep the codec it brought in
  if (!ole) return "Windows' COM library (ole32.dll) cannot be loaded";
  auto initialize = reinterpret_cast<CoInitializeExCall>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx")));
  auto uninitialize = reinterpret_cast<CoUninitializeCall>(reinterpret_cast<void*>(GetProcAddress(ole, "CoUninitialize")));
  auto create = reinterpret_cast<CoCreateInstanceCall>(reinterpret_cast<void*>(GetProcAddress(ole, "CoCreateInstance")));
  if (!initialize || !uninitialize || !create) return "ole32.dll lacks the COM calls";
  // The game's thread may have COM already, in either model; only our own start is undone.
  const HRESULT started = initialize(nullptr, COINIT_APARTMENTTHREADED);
  std::string error;
  {
    Held<IWICImagingFactory> factory;
    const HRESULT made = create(ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, ImagingFactoryInterface,
                                reinterpret_cast<void**>(&factory.p));
    error = FAILED(made) ? failedStep("starting Windows' imaging component", made) : work(factory.p);
  }
  if (SUCCEEDED(started)) uninitialize();
  return error;
}

}  // namespace

std::string writePngFile(const std::string& utf8Path, int width, int height, const std::uint32_t* pixels) {
  return withCom([&](IWICImagingFactory* factory) { return encode(factory, wide(utf8Path), width, height, pixels); });
}

PngPicture readPngFile(const std::string& utf8Path) {
  PngPicture picture;
  picture.error = withCom([&](IWICImagingFactory* factory) { return decode(factory, wide(utf8Path), picture); });
  return picture;
}
