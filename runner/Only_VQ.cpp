// Only_VQ: the runner the news server starts once per message.
#include <cstdio>

#include "SysUtils.h"
#include "uHandOverPrompter.h"

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  InstallHandOverPrompter();
  return 0;
}
