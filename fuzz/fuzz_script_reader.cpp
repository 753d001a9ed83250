// Fuzz target: the line reader of editing scripts (tzo exec, tzo replay).
//
// For each input:
//  1. The bytes are read as a script through SCRIPT_READER (from memory),
//     with a line limit of 256 bytes, so that inputs reach it: no line may
//     come back longer than the limit, and the line numbers count every
//     line.
//  2. Each line is parsed. A command is printed in its canonical form,
//     which must parse to the same command and print to the same text
//     (parse -> print -> parse is stable). A skipped line stays skipped
//     when parsed again, and an error always comes with a reason.
//
// Failures end the process with abort() after a line on stderr starting
// with "fuzz_script_reader: ".

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "tzo_script.h"

using namespace tzo;

namespace {

void check_line(const std::string& line) {
  SCRIPT_COMMAND command;
  std::string error;
  const SCRIPT_LINE_KIND kind = parse_script_line(line, &command, &error);
  if (kind == SCRIPT_LINE_KIND::ERROR) {
    if (error.empty()) sdr_fuzz::fail("a refused line has no reason");
    return;
  }
  SCRIPT_COMMAND again;
  std::string error2;
  if (kind == SCRIPT_LINE_KIND::SKIPPED) {
    if (parse_script_line(line, &again, &error2) != SCRIPT_LINE_KIND::SKIPPED)
      sdr_fuzz::fail("unstable skip");
    return;
  }
  const std::string printed = print_script_command(command);
  if (parse_script_line(printed, &again, &error2) != SCRIPT_LINE_KIND::COMMAND) {
    sdr_fuzz::print_text("line", line);
    sdr_fuzz::print_text("printed", printed);
    sdr_fuzz::fail("the printed command does not parse", error2);
  }
  if (!(again == command) || print_script_command(again) != printed) {
    sdr_fuzz::print_text("line", line);
    sdr_fuzz::print_text("printed", printed);
    sdr_fuzz::fail("parse -> print -> parse is not stable");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sdr_fuzz::target_name() = "fuzz_script_reader";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.empty()) return 0;
  std::FILE* stream = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (!stream) return 0;
  const size_t limit = 256;
  SCRIPT_READER reader(stream, limit);
  std::string line;
  int lines = 0;
  while (true) {
    const SCRIPT_READER::RESULT got = reader.next(&line);
    if (got == SCRIPT_READER::END || got == SCRIPT_READER::READ_ERROR) break;
    ++lines;
    if (reader.get_line_number() != lines) sdr_fuzz::fail("line numbers skip");
    if (line.size() > limit) sdr_fuzz::fail("a line beyond the limit was kept");
    if (got == SCRIPT_READER::TOO_LONG) break;
    check_line(line);
  }
  std::fclose(stream);
  return 0;
}
