#include "net/transfer_progress.h"

#include <windows.h>
#include <mmsystem.h>

#include "core/update_state.h"

namespace corvid {

namespace {

struct display_memory {
  std::uint8_t last_overall_percent = 0;
  std::uint8_t last_file_percent = 0;
  std::uint32_t last_text_time = 0;
  bool called_before = false;
};

display_memory shown;

std::uint8_t percent_of(std::uint32_t done, std::uint32_t total) {
  if (done == 0 || total == 0) return 0;
  return static_cast<std::uint8_t>(static_cast<std::int64_t>(static_cast<double>(done) / total * 100.0));
}

struct scaled_amount {
  float value;
  const char* unit;
};

// Exactly 1024 of the smaller unit stays in it.
scaled_amount in_units(float kilobytes, const char* large_unit, const char* small_unit) {
  if (kilobytes > 1024.0f) return {kilobytes / 1024.0f, large_unit};
  return {kilobytes, small_unit};
}

void write_status_line(std::uint32_t now) {
  const progress_counters& counters = state.progress;
  float done = static_cast<float>(counters.overall_bytes_done) / 1024.0f;
  float total = static_cast<float>(counters.overall_bytes_total) / 1024.0f;
  float rate = done / (static_cast<float>(now - counters.overall_start_time) * 0.001f);

  const char* mb = text_of(message::megabytes);
  const char* kb = text_of(message::kilobytes);
  scaled_amount shown_done = in_units(done, mb, kb);
  scaled_amount shown_total = in_units(total, mb, kb);
  scaled_amount shown_rate =
      in_units(rate, text_of(message::megabytes_per_second), text_of(message::kilobytes_per_second));

  const char* pattern = template_of(message::transfer_status);
  fixed_text<256> line;
  line.format(pattern, shown_done.value, shown_done.unit, shown_total.value, shown_total.unit, shown_rate.value,
              shown_rate.unit);
  shown_progress().status_line_2(line.c_str());
}

}  // namespace

void show_transfer_progress(int) { show_transfer_progress_at(timeGetTime()); }

void show_transfer_progress_at(std::uint32_t now) {
  const progress_counters& counters = state.progress;
  std::uint8_t overall = percent_of(counters.overall_bytes_done, counters.overall_bytes_total);
  std::uint8_t file = percent_of(counters.file_bytes_done, counters.file_bytes_total);

  if (!shown.called_before) {
    shown.called_before = true;
    shown.last_text_time = now;
  }

  if (overall != shown.last_overall_percent) {
    shown_progress().overall_bar(overall);
    fixed_text<256> title;
    title.format("%d%% - %s", overall, text_of(message::program_name));
    shown_progress().title(title.c_str());
    shown.last_overall_percent = overall;
  }
  if (file != shown.last_file_percent) {
    shown_progress().file_bar(file);
    shown.last_file_percent = file;
  }

  if (now - shown.last_text_time <= 1000) return;
  write_status_line(now);
  shown.last_text_time = now;
}

void reset_transfer_progress_display() { shown = display_memory(); }

}  // namespace corvid
