#include "graphics/wipes.h"

#include <array>

#include "core/error.h"
#include "core/sjis.h"
#include "graphics/wipe_crack.h"
#include "graphics/wipe_mask.h"
#include "graphics/wipe_plain.h"
#include "graphics/wipe_screens.h"

namespace nova::graphics {

// --- TCustomWipe -----------------------------------------------------------------------

TCustomWipe::TCustomWipe(const WipeSurfaces& surfaces, const WipeServices& services)
    : m_target(surfaces.target),
      m_old(surfaces.old_screen),
      m_new(surfaces.new_screen),
      m_services(services),
      m_width(surfaces.target ? surfaces.target->GetWidth() : 0),
      m_height(surfaces.target ? surfaces.target->GetHeight() : 0) {
  if (!m_target || !m_old || !m_new) throw core::Error("transition: a surface is missing");
}

TCustomWipe::~TCustomWipe() = default;

std::int32_t TCustomWipe::GetParam(int index) const { return index == 0 || index == 1 ? m_param[index] : 0; }

void TCustomWipe::SetParam(int index, std::int32_t value) {
  if (index == 0 || index == 1) m_param[index] = value;
}

void TCustomWipe::Prepare() {
  OnPrepare();
  m_prepared = true;
}

bool TCustomWipe::DrawStep() {
  m_bounds = full();
  const std::int64_t d = m_duration;
  const std::int64_t e = m_elapsed < 0 ? 0 : m_elapsed;
  if (e >= d) return true;
  if (!m_prepared) throw core::Error("transition: drawn before it was started (Prepare)");
  m_target->IncludeClipRect(m_bounds);
  Draw(e, d);
  return false;
}

// --- Grey tables --------------------------------------------------------------------------

WipeGreyTables make_wipe_grey_tables(int screen_depth) {
  WipeGreyTables t;
  const int bits16 = screen_depth == 15 ? 15 : 16;
  for (int g = 0; g < 256; ++g) {
    const std::int32_t colour = g | (g << 8) | (g << 16);
    t.layout16[g] = static_cast<std::uint32_t>(color_to_pixel(bits16, colour));
    t.layout32[g] = static_cast<std::uint32_t>(color_to_pixel(32, colour));
  }
  return t;
}

// --- The factory ----------------------------------------------------------------------------

namespace {

template <class T>
std::unique_ptr<TCustomWipe> make(const WipeSurfaces& s, const WipeServices& v) {
  return std::make_unique<T>(s, v);
}

// One row per WP_ value, in order; the defaults are set with SetParam, so a
// type's minimum applies to them too.
const std::array<WipeTypeInfo, kLastWipeType> kTypes = {{
    {WP_FADE, "WP_FADE", "フェード", "TWipeFade", 0, 0, make<TWipeFade>},
    {WP_BLINDH, "WP_BLINDH", "ブラインド横", "TWipeBlindH", 20, 1, make<TWipeBlindH>},
    {WP_BLINDV, "WP_BLINDV", "ブラインド縦", "TWipeBlindV", 20, 1, make<TWipeBlindV>},
    {WP_CURTAINH, "WP_CURTAINH", "カーテン横", "TWipeCurtainH", 30, 1, make<TWipeCurtainH>},
    {WP_CURTAINV, "WP_CURTAINV", "カーテン縦", "TWipeCurtainV", 30, 1, make<TWipeCurtainV>},
    {WP_SCROLLH, "WP_SCROLLH", "スクロール横", "TWipeScrollH", 0, 0, make<TWipeScrollH>},
    {WP_SCROLLV, "WP_SCROLLV", "スクロール縦", "TWipeScrollV", 0, 0, make<TWipeScrollV>},
    {WP_GRID, "WP_GRID", "格子", "TWipeGrid", 80, 30, make<TWipeGrid>},
    {WP_GRIDH, "WP_GRIDH", "格子(横)", "TWipeGridH", 80, 30, make<TWipeGridH>},
    {WP_GRIDV, "WP_GRIDV", "格子(縦)", "TWipeGridV", 80, 30, make<TWipeGridV>},
    {WP_DITHER, "WP_DITHER", "ディザ", "TWipeDither", 0, 0, make<TWipeDither>},
    {WP_WHITE, "WP_WHITE", "ホワイト", "TWipeWhite", 0, 0, make<TWipeWhite>},
    {WP_BLACK, "WP_BLACK", "ブラック", "TWipeBlack", 0, 0, make<TWipeBlack>},
    {WP_FLASH, "WP_FLASH", "フラッシュ", "TWipeFlash", 0, 0, make<TWipeFlash>},
    {WP_MOSAIC, "WP_MOSAIC", "モザイク", "TWipeMosaic", 0, 0, make<TWipeMosaic>},
    {WP_SUDAREH, "WP_SUDAREH", "すだれ横", "TWipeSudareH", 0, 0, make<TWipeSudareH>},
    {WP_SUDAREV, "WP_SUDAREV", "すだれ縦", "TWipeSudareV", 0, 0, make<TWipeSudareV>},
    {WP_SPOT, "WP_SPOT", "スポットライト", "TWipeSpot", 0, 0, make<TWipeSpot>},
    {WP_MASKFADE, "WP_MASKFADE", "マスクフェード", "TWipeShadow", 0, 0, make<TWipeShadow>},
    {WP_MASKWHITE, "WP_MASKWHITE", "マスクホワイト", "TWipeShadowWhite", 0, 0, make<TWipeShadowWhite>},
    {WP_MASKBLACK, "WP_MASKBLACK", "マスクブラック", "TWipeShadowBlack", 0, 0, make<TWipeShadowBlack>},
    {WP_SMALL, "WP_SMALL", "表画面縮小", "TWipeSmall", 0, 0, make<TWipeSmall>},
    {WP_BIG, "WP_BIG", "裏画面拡大", "TWipeBig", 0, 0, make<TWipeBig>},
    {WP_RIPPLE, "WP_RIPPLE", "波紋", "TWipeRipple", 5, 0, make<TWipeRipple>},
    {WP_BLURWHITE, "WP_BLURWHITE", "白ぼかし", "TWipeBlurWhite", 0, 0, make<TWipeBlurWhite>},
    {WP_BLURBLACK, "WP_BLURBLACK", "黒ぼかし", "TWipeBlurBlack", 0, 0, make<TWipeBlurBlack>},
    {WP_TWISTH, "WP_TWISTH", "ひねり横", "TWipeTwistH", 0, 0, make<TWipeTwistH>},
    {WP_TWISTV, "WP_TWISTV", "ひねり縦", "TWipeTwistV", 0, 0, make<TWipeTwistV>},
    {WP_CRACK, "WP_CRACK", "チップ落下", "TWipeCrack", 64, 3, make<TWipeCrack>},
    {WP_ZOOMIN, "WP_ZOOMIN", "ズームイン", "TWipeZoomin", 0, 0, make<TWipeZoomin>},
    {WP_CLOCKHAND, "WP_CLOCKHAND", "時計の針", "TWipeClockhand", 0, 0, make<TWipeClockhand>},
    {WP_RUBBERH, "WP_RUBBERH", "ゴム(横)", "TWipeRubberH", 0, 0, make<TWipeRubberH>},
    {WP_RUBBERV, "WP_RUBBERV", "ゴム(縦)", "TWipeRubberV", 0, 0, make<TWipeRubberV>},
    {WP_FAN, "WP_FAN", "扇", "TWipeFan", 0, 0, make<TWipeFan>},
    {WP_WFAN, "WP_WFAN", "扇(両側)", "TWipeWFan", 0, 0, make<TWipeWFan>},
    {WP_CIRCLE, "WP_CIRCLE", "円", "TWipeCircle", 0, 0, make<TWipeCircle>},
    {WP_BLOCKCOIL, "WP_BLOCKCOIL", "ブロック(とぐろ)", "TWipeBlockCoil", 60, 0, make<TWipeBlockCoil>},
    {WP_BLOCKRANDOM, "WP_BLOCKRANDOM", "ブロック(ランダム)", "TWipeBlockRandom", 60, 0, make<TWipeBlockRandom>},
}};

}  // namespace

std::span<const WipeTypeInfo> wipe_types() { return kTypes; }

const WipeTypeInfo* wipe_type_info(int type) {
  if (type < 1 || type > kLastWipeType) return nullptr;
  return &kTypes[static_cast<std::size_t>(type - 1)];
}

std::string wipe_display_name(int type) {
  if (type == WP_NONE) return core::sjis("なし");
  const WipeTypeInfo* info = wipe_type_info(type);
  return info ? core::sjis(info->display_utf8) : std::string();
}

std::unique_ptr<TCustomWipe> CreateTransition(int type, const WipeSurfaces& surfaces, const WipeServices& services,
                                              std::int32_t duration) {
  const WipeTypeInfo* info = wipe_type_info(type);
  if (!info) return nullptr;
  if (!surfaces.target || !surfaces.old_screen || !surfaces.new_screen)
    throw core::Error("transition: a surface is missing");
  const TCustomDIBX& t = *surfaces.target;
  const int bits = t.GetBitCount();
  if (t.IsEmpty() || (bits != 15 && bits != 16 && bits != 24 && bits != 32)) return nullptr;
  for (const TCustomDIBX* s : {surfaces.old_screen, surfaces.new_screen}) {
    if (s->GetWidth() != t.GetWidth() || s->GetHeight() != t.GetHeight() || s->GetBitCount() != t.GetBitCount())
      throw core::Error("transition: the screens differ from the target in size or bit count");
    if (s == surfaces.target) throw core::Error("transition: the target is one of the screens");
  }
  std::unique_ptr<TCustomWipe> w = info->make(surfaces, services);
  w->SetParam(0, info->param0);
  w->SetParam(1, info->param1);
  w->SetDuration(duration);
  return w;
}

}  // namespace nova::graphics
