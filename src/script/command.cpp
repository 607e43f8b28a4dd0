#include "script/command.h"

#include <array>

#include "core/error.h"
#include "script/commands.h"

namespace nova::script {
namespace {

using Maker = std::unique_ptr<TCommand> (*)(TComList&, TCommandRecord&&);

template <typename T>
std::unique_ptr<TCommand> make(TComList& list, TCommandRecord&& record) {
  return std::make_unique<T>(list, std::move(record));
}

// The class of every code, in code order.
constexpr std::array<Maker, kCommandCount> kMakers = {
    make<TComIf>,                //  0
    make<TComElseif>,            //  1
    make<TComElse>,              //  2
    make<TComLabel>,             //  3
    make<TComJump>,              //  4
    make<TComCall>,              //  5
    make<TComExit>,              //  6
    make<TComWait>,              //  7
    make<TComBoxNew>,            //  8
    make<TComImgNew>,            //  9
    make<TComMesNew>,            // 10
    make<TComTimer>,             // 11
    make<TComMovie>,             // 12
    make<TComFlip>,              // 13
    make<TComCalc>,              // 14
    make<TComVarNew>,            // 15
    make<TComVarDel>,            // 16
    make<TComGetProp>,           // 17
    make<TComSetProp>,           // 18
    make<TComObjDel>,            // 19
    make<TComTextIns>,           // 20
    make<TComMovieStop>,         // 21
    make<TComClrHist>,           // 22
    make<TComCinema>,            // 23
    make<TComCaption>,           // 24
    make<TComMenu>,              // 25
    make<TComMenuClose>,         // 26
    make<TComComment>,           // 27
    make<TComTextClr>,           // 28
    make<TComCallHist>,          // 29
    make<TComBtnNew>,            // 30
    make<TComWhile>,             // 31
    make<TComWhileInit>,         // 32
    make<TComWhileLoop>,         // 33
    make<TComBreak>,             // 34
    make<TComContinue>,          // 35
    make<TComParticleNew>,       // 36
    make<TComFireNew>,           // 37
    make<TComGameSave>,          // 38
    make<TComGameLoad>,          // 39
    make<TComPCReset>,           // 40
    make<TComReset>,             // 41
    make<TComSound>,             // 42
    make<TComEditNew>,           // 43
    make<TComMemoNew>,           // 44
    make<TComTerminate>,         // 45
    make<TComDoEvent>,           // 46
    make<TComClrRead>,           // 47
    make<TComMapImgNew>,         // 48
    make<TComWaveNew>,           // 49
    make<TComTileNew>,           // 50
    make<TComSliderNew>,         // 51
    make<TComScrollbarNew>,      // 52
    make<TComGaugeNew>,          // 53
    make<TComCGCaption>,         // 54
    make<TComMediaPlay>,         // 55
    make<TComPrevMenuNew>,       // 56
    make<TComPropMotion>,        // 57
    make<TComFormatHist>,        // 58
    make<TComCabinetSave>,       // 59
    make<TComCabinetLoad>,       // 60
};

}  // namespace

std::unique_ptr<TCommand> make_command(TComList& list, TCommandRecord record) {
  const int code = record.code();
  if (code < 0 || code >= kCommandCount) throw_bad_command();
  return kMakers[static_cast<std::size_t>(code)](list, std::move(record));
}

void write_state_header(core::ByteWriter& w, int version) {
  if (version < 0 || version > 999) core::throw_error("state version out of range");
  w.bytes("nova");
  w.u8(static_cast<std::uint8_t>('0' + version / 100));
  w.u8(static_cast<std::uint8_t>('0' + version / 10 % 10));
  w.u8(static_cast<std::uint8_t>('0' + version % 10));
}

int read_state_header(core::ByteReader& r) {
  if (r.remaining() < 4) return 0;
  auto head = r.data().subspan(r.position(), 4);
  if (std::string_view(reinterpret_cast<const char*>(head.data()), 4) != "nova") return 0;
  r.skip(4);
  int version = 0;
  for (int i = 0; i < 3; ++i) {
    const std::uint8_t c = r.u8();
    if (c < '0' || c > '9') r.fail("saved command state: bad version digits");
    version = version * 10 + (c - '0');
  }
  return version;
}

}  // namespace nova::script
