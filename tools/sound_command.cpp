// `nova sound`: plays a title's sounds through the player's media system on
// the virtual clock and records what is heard into a WAV file, for authors
// checking their sounds and for tests.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "files/file_manager.h"
#include "files/title_mount.h"
#include "media/media_system.h"
#include "platform/codepage.h"
#include "platform/headless/headless_platform.h"
#include "tools/command_errors.h"
#include "tools/commands.h"

namespace nova::tools {
namespace {

const char* kUsage =
    "usage: nova sound --record-audio OUT.wav TITLE NAME[@MS]... [--repeat] [--volume V]\n"
    "                  [--wave-mixer [--delay-time MS]] [--seconds S]\n\n"
    "Plays the title's sounds (TITLE is mounted as the player mounts its data) on the\n"
    "virtual clock, in 15 ms frames, and writes what is heard to OUT.wav (44100 Hz\n"
    "16-bit stereo). NAME@MS starts a sound MS ms in (0 without). Prints each sound's\n"
    "length and the time it ended.\n"
    "  --repeat        every sound repeats (needs --seconds)\n"
    "  --volume V      every sound's volume in hundredths of a decibel (0 .. -10000)\n"
    "  --wave-mixer    play through the wave mixer (game.ini DirectSound off)\n"
    "  --delay-time MS the wave mixer's block length, 100 .. 500 (500 by default)\n"
    "  --seconds S     record S seconds; without it, until every sound has ended\n";

int number(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end != '\0' || v < -1000000 || v > 1000000) fail(option + ": not a number: " + text);
  return static_cast<int>(v);
}

struct Sound {
  std::string name;  // Shift-JIS
  int start_ms = 0;
  media::TDMediaItem* item = nullptr;
  bool started = false;
  std::optional<int> ended_at;
};

int run_sound(const std::vector<std::string>& args) {
  std::filesystem::path out;
  std::filesystem::path title;
  std::vector<Sound> sounds;
  bool repeat = false, mixer = false;
  std::optional<int> volume, delay, seconds;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--record-audio") {
      out = value();
    } else if (a == "--repeat") {
      repeat = true;
    } else if (a == "--volume") {
      volume = number(a, value());
    } else if (a == "--wave-mixer") {
      mixer = true;
    } else if (a == "--delay-time") {
      delay = number(a, value());
    } else if (a == "--seconds") {
      seconds = number(a, value());
    } else if (a.rfind("--", 0) == 0) {
      std::fputs(kUsage, stderr);
      return 2;
    } else if (title.empty()) {
      title = a;
    } else {
      Sound s;
      const auto at = a.rfind('@');
      s.name = platform::codepage::from_utf8_lossy(a.substr(0, at));
      if (at != std::string::npos) s.start_ms = number("@", a.substr(at + 1));
      if (s.start_ms < 0) fail(a + ": a start before 0");
      sounds.push_back(std::move(s));
    }
  }
  if (out.empty() || title.empty() || sounds.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (delay && !mixer) fail("--delay-time is for the wave mixer (--wave-mixer)");
  if (delay && (*delay < 100 || *delay > 500)) fail("--delay-time: 100 .. 500");
  if (repeat && !seconds) fail("--repeat needs --seconds");
  if (seconds && (*seconds <= 0 || *seconds > 3600)) fail("--seconds: 1 .. 3600");
  if (volume && (*volume > 0 || *volume < -10000)) fail("--volume: 0 .. -10000");

  platform::HeadlessOptions options;
  options.record_audio = out;
  options.echo_message_boxes = false;
  platform::HeadlessPlatform platform(options);
  files::TVrFileManager files(platform.dialogs(), files::FileManagerEnvironment::FromSystem(platform.system()));
  files::mount_title_data(files, std::filesystem::current_path() / "nova", {title});
  {
    media::MediaSystem media(platform, files, {!mixer, delay.value_or(500)});
    media.CreateManagers();
    for (Sound& s : sounds) {
      const std::string shown = platform::codepage::to_utf8(s.name);
      try {
        switch (media::media_kind_of(s.name)) {
          case media::MediaKind::Ogg: s.item = media.OggMan()->Add(s.name); break;
          case media::MediaKind::MediaPlayer: s.item = media.WmpMan()->Add(s.name); break;
          default: fail(shown + ": not a sound this command plays (.ogg, .wav, .wma, .asf)");
        }
      } catch (const core::Error& e) {
        fail(shown + ": " + platform::codepage::to_utf8(e.message()));
      }
      if (s.item->GetLength() == 0 && s.item->AtEnd()) fail(shown + ": the sound does not decode");
      s.item->SetRepeat(repeat);
      if (volume) s.item->SetVolume(*volume);
    }
    const int limit = seconds ? *seconds * 1000 : 600 * 1000;
    int now = 0;
    for (;;) {
      for (Sound& s : sounds) {
        if (!s.started && s.start_ms <= now) {
          s.item->Play();
          s.started = true;
        }
      }
      if (now >= limit) break;
      // 15 ms frames as the player's, the last one cut at the limit.
      const int step = std::min(15, limit - now);
      platform.advance_ms(static_cast<std::uint32_t>(step));
      now += step;
      bool all_ended = true;
      for (Sound& s : sounds) {
        if (s.started && !s.ended_at && s.item->AtEnd()) s.ended_at = now;
        all_ended = all_ended && s.ended_at;
      }
      if (!seconds && all_ended) break;
    }
    for (const Sound& s : sounds) {
      std::printf("%s: length %d ms, started at %d ms, ", platform::codepage::to_utf8(s.name).c_str(),
                  s.item->GetLength(), s.start_ms);
      if (s.ended_at)
        std::printf("ended at %d ms\n", *s.ended_at);
      else
        std::printf("still playing at %d ms\n", now);
    }
  }
  return 0;
}

NOVA_TOOL_COMMAND("sound", "record a title's sounds as the player plays them", run_sound);

}  // namespace
}  // namespace nova::tools
