#include "game/game_code.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "host/host.h"

namespace Standin {

namespace {

// Emits bytes for a fixed address; relative operands are computed from where they land.
class Writer {
 public:
  explicit Writer(std::uint32_t address) : start_(address) {}
  std::uint32_t here() const { return start_ + static_cast<std::uint32_t>(bytes_.size()); }
  Writer& bytes(std::initializer_list<std::uint8_t> list) {
    bytes_.insert(bytes_.end(), list);
    return *this;
  }
  Writer& dword(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  Writer& rel32(std::uint32_t target) { return dword(target - (here() + 4)); }
  Writer& call(std::uint32_t target) { return bytes({0xE8}).rel32(target); }
  Writer& jmp(std::uint32_t target) { return bytes({0xE9}).rel32(target); }
  Writer& callService(Service s) { return call(thunk(s)); }
  Writer& incCounter(Counter c) { return bytes({0xFF, 0x05}).dword(counterAddress(c)); }  // inc dword [c]
  Writer& ret() { return bytes({0xC3}); }
  // The prefix was sized so that the next byte is the site; a mismatch is a bug here.
  Writer& site(std::uint32_t address) {
    if (here() != address) throw std::logic_error("game code: site " + std::to_string(address) + " misplaced");
    return *this;
  }
  CodePiece piece() const { return {start_, bytes_}; }
  static std::uint32_t thunk(Service s) { return Private::ServiceThunks + 8 * static_cast<std::uint32_t>(s); }

 private:
  std::uint32_t start_;
  std::vector<std::uint8_t> bytes_;
};

// A routine void(RwTexture*) that brings the texture to its site in the way the module expects
// and then draws whatever raster comes out. The registers that do not carry the texture hold
// something else (zero or the raster), so reading the wrong one shows.
CodePiece textureRoutine(std::uint32_t site) {
  // Prologue: push ebx; push esi; push edi; mov eax,[esp+16]; xor ebx,ebx; xor esi,esi; xor edi,edi
  const std::initializer_list<std::uint8_t> prologue = {0x53, 0x56, 0x57, 0x8B, 0x44, 0x24, 0x10,
                                                       0x31, 0xDB, 0x31, 0xF6, 0x31, 0xFF};
  const std::uint32_t prologueSize = 13;
  auto finish = [](Writer& w) {
    w.bytes({0x83, 0xC4, 0x04});  // add esp, 4
    w.bytes({0x5F, 0x5E, 0x5B});  // pop edi; pop esi; pop ebx
    w.ret();
  };
  switch (site) {
    case Host::RasterSiteEbx: {
      Writer w(site - prologueSize - 5);
      w.bytes(prologue).bytes({0x89, 0xC3});  // mov ebx, eax
      w.bytes({0x8B, 0x03});                  // mov eax, [ebx]   raster (EAX is not the texture)
      w.bytes({0x50});                        // push eax         raster on top of the stack
      w.site(site).callService(Service::UseRaster);
      finish(w);
      return w.piece();
    }
    case Host::RasterSiteEax: {
      Writer w(site - prologueSize - 3);
      w.bytes(prologue).bytes({0x8B, 0x10});  // mov edx, [eax]
      w.bytes({0x52});                        // push edx
      w.site(site).callService(Service::UseRaster);
      finish(w);
      return w.piece();
    }
    case Host::RasterSiteEsi: {
      Writer w(site - prologueSize - 7);
      w.bytes(prologue).bytes({0x89, 0xC6});  // mov esi, eax
      w.bytes({0x8B, 0x0E});                  // mov ecx, [esi]
      w.bytes({0x51});                        // push ecx
      w.bytes({0x31, 0xC0});                  // xor eax, eax
      w.site(site).callService(Service::UseRaster);
      finish(w);
      return w.piece();
    }
    case Host::RasterSiteEdx: {
      Writer w(site - prologueSize - 2);
      w.bytes(prologue).bytes({0x8B, 0x10});  // mov edx, [eax]
      w.site(site).bytes({0x89, 0x15}).dword(Private::CurrentRaster);  // mov [current raster], edx
      w.bytes({0x52});                                                  // push edx
      w.callService(Service::UseRaster);
      finish(w);
      return w.piece();
    }
    case Host::TextureToRaster: {
      Writer w(site - prologueSize);
      w.bytes(prologue);
      w.site(site).bytes({0x8B, 0x00});                                 // mov eax, [eax]
      w.bytes({0x8B, 0x0D}).dword(Host::RasterExtensionOffset);         // mov ecx, [extension offset]
      w.bytes({0x50});                                                  // push eax
      w.callService(Service::UseRaster);
      finish(w);
      return w.piece();
    }
    default:
      throw std::logic_error("game code: not a texture site");
  }
}

CodePiece callAndReturn(std::uint32_t site, Service service, bool trailingNop) {
  Writer w(site);
  w.callService(service);
  if (trailingNop) w.bytes({0x90});
  w.ret();
  return w.piece();
}

CodePiece countedRoutine(std::uint32_t address, Counter counter) {
  Writer w(address);
  w.incCounter(counter).ret();
  return w.piece();
}

}  // namespace

const std::vector<std::uint32_t>& textureSiteAddresses() {
  static const std::vector<std::uint32_t> sites = {Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                                                   Host::RasterSiteEdx, Host::TextureToRaster};
  return sites;
}

std::uint32_t counterAddress(Counter counter) { return Private::Counters + 4 * static_cast<std::uint32_t>(counter); }

std::uint32_t serviceSlotAddress(Service service) {
  return Private::ServiceSlots + 4 * static_cast<std::uint32_t>(service);
}

GameCode buildGameCode() {
  GameCode code;
  auto add = [&](CodePiece piece) {
    std::uint32_t address = piece.address;
    code.pieces.push_back(std::move(piece));
    return address;
  };

  // Thunks into the stand-in's C++: jmp [slot], padded with int3.
  {
    Writer w(Private::ServiceThunks);
    for (int i = 0; i < static_cast<int>(Service::Count); ++i)
      w.bytes({0xFF, 0x25}).dword(serviceSlotAddress(static_cast<Service>(i))).bytes({0xCC, 0xCC});
    add(w.piece());
  }

  code.routines.mainLoop = add(callAndReturn(Host::MainLoopCall, Service::LoopBody, true));
  code.routines.render = add(callAndReturn(Host::DrawPoint, Service::RenderScene, false));
  code.routines.beforeReset = add(callAndReturn(Host::BeforeDeviceReset, Service::BeforeReset, false));
  code.routines.afterReset = add(callAndReturn(Host::AfterDeviceReset, Service::AfterReset, false));
  for (std::uint32_t site : textureSiteAddresses()) code.routines.useTexture.push_back(add(textureRoutine(site)));

  // Mouse code, with the game's own bytes where the cursor control patches it.
  {
    Writer w(Host::MouseCall1);
    w.call(Host::MouseCall1Target).ret();  // E8 46 F3 FE FF
    code.routines.mouseRead = add(w.piece());
  }
  {
    Writer w(Host::MouseCall1Target);  // reads the mouse into the mouse state
    w.incCounter(Counter::Mouse531140).bytes({0xFF, 0x25}).dword(serviceSlotAddress(Service::ReadMouse));
    add(w.piece());
  }
  {
    Writer w(Host::MouseCall2);
    w.call(Host::MouseCall2Target);                // E8 B4 7A 20 00
    w.bytes({0x8D, 0x40, 0x00});         // lea eax, [eax+0]
    const std::uint32_t skip = Host::MouseTest + 2 + 6 + 6;
    w.site(Host::MouseTest).bytes({0x85, 0xC0, 0x0F, 0x8C}).rel32(skip);  // test eax,eax; jl skip
    w.incCounter(Counter::MouseUpdate);  // the mouse update the branch guards
    w.site(skip).ret();
    code.routines.mouseCheck = add(w.piece());
  }
  {
    Writer w(Host::MouseCall2Target);
    w.incCounter(Counter::Mouse746ED0).bytes({0x31, 0xC0}).ret();  // returns 0: mouse available
    add(w.piece());
  }
  {
    const std::uint32_t body = Host::MouseRoutine + 16;
    Writer w(Host::MouseRoutine);
    w.jmp(body).bytes({0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC});
    w.site(body).incCounter(Counter::Mouse6194A0).ret();
    code.routines.mouseRoutine = add(w.piece());
  }
  add(countedRoutine(Host::MouseResetRoutine1, Counter::Routine541BD0));
  add(countedRoutine(Host::MouseResetRoutine2, Counter::Routine541DD0));

  std::sort(code.pieces.begin(), code.pieces.end(),
            [](const CodePiece& a, const CodePiece& b) { return a.address < b.address; });
  for (size_t i = 1; i < code.pieces.size(); ++i) {
    const CodePiece& before = code.pieces[i - 1];
    if (before.address + before.bytes.size() > code.pieces[i].address)
      throw std::logic_error("game code: routines overlap");
  }
  return code;
}

}  // namespace Standin
