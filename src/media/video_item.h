// TVideoItem: the base of the video items. Movies come with the movie
// component; this is the interface they will fill in (frame size,
// visibility, placement, the frame to paint and the notice that it was
// shown). Until then the video manager makes no items (see
// media_managers.h).
#pragma once

#include <cstdint>

#include "media/media_item.h"

namespace nova::media {

struct VideoRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class TVideoItem : public TDMediaItem {
 public:
  virtual std::int32_t GetSourceHeight() = 0;
  virtual std::int32_t GetSourceWidth() = 0;
  virtual bool GetVisible() = 0;
  virtual void SetVisible(bool visible) = 0;
  // A new frame waits to be drawn.
  virtual bool NeedPaint() = 0;
  virtual void SetRect(const VideoRect& source, const VideoRect& target) = 0;
  // The current frame was drawn (once per composed frame).
  virtual void FrameShown() = 0;

  bool ResumeMark() const override { return m_resume_mark; }
  void SetResumeMark(bool on) override { m_resume_mark = on; }

 private:
  bool m_resume_mark = false;
};

}  // namespace nova::media
