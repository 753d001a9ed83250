// Uses the installed library through its public headers only.
#include <cstdio>
#include <cstring>
#include <memory>

#include "sdr_msgs.h"

int main() {
  const char* name = "consumer_name_42";
  std::unique_ptr<MSG_OBJECT> msg(SDR_MSGS::wsdr_duplicate_name(name));
  if (!msg) {
    std::fprintf(stderr, "no message object\n");
    return 1;
  }
  const char* text = msg->get_text();
  if (text == nullptr || std::strstr(text, name) == nullptr || msg->get_code() != WSDR_DUPLICATE_NAME) {
    std::fprintf(stderr, "unexpected message: %s\n", text ? text : "(null)");
    return 1;
  }
  std::printf("sdr consumer: %s\n", text);
  return 0;
}
