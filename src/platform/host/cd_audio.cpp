#include "platform/cdaudio.h"

namespace nova::platform {
namespace {

class DrivelessCdAudio final : public CdAudio {
 public:
  std::vector<std::string> drives() override { return {}; }
  std::unique_ptr<CdDrive> open(int) override { return nullptr; }
  CdLineVolume line_volume() override { return m_volume; }
  void set_line_volume(const CdLineVolume& v) override { m_volume = v; }

 private:
  CdLineVolume m_volume;
};

}  // namespace

std::unique_ptr<CdAudio> create_driveless_cd_audio() { return std::make_unique<DrivelessCdAudio>(); }

}  // namespace nova::platform
