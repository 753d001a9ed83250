#include <gtest/gtest.h>

#include "msg_service.h"

namespace {

// Every test starts with no posted messages and no internal-error reports.
class CLEAN_START : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    MSG_REPORT::get_default_report()->clear_posted();
    MSG_INTERNAL_ERROR::clear_reports();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new CLEAN_START);
  return RUN_ALL_TESTS();
}
