// What the component system tells the subsystems beside it, as small
// interfaces that app implements: the picture cache and the media
// managers live in folders that must not include components, so the base
// list reaches them only through these.
//
// Lifetimes: an implementation is borrowed by the list it is given to and
// must outlive it (or be taken back with set_* before it goes).
#pragma once

namespace nova::components {

// The picture cache as the bases drive it.
class PictureCacheLink {
 public:
  virtual ~PictureCacheLink() = default;
  // The image-quality flag changed.
  virtual void SetImageQuality(bool quality) = 0;
  // Around a display-mode change: drop the pictures converted to the old
  // layout, and rebuild them at `bit_count`.
  virtual void ReleaseSurfaces() = 0;
  virtual void RecreateSurfaces(int bit_count) = 0;
};

// The media managers' common switch (sound on or off).
class MediaSwitch {
 public:
  virtual ~MediaSwitch() = default;
  virtual void SetMediaEnabled(bool enabled) = 0;
};

}  // namespace nova::components
