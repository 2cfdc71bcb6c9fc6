#include "ferryctl_fixture.h"

namespace ferry::test {

std::string testbedAgent() { return binDir() + "\\testbed\\ferryman.dll"; }

std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

CtlRun ferryctl(const std::string& arguments) {
  CtlRun run;
  run.process = runProcess("\"" + binDir() + "\\ferryctl.exe\" " + arguments);
  run.out = withoutCarriageReturns(run.process.out);
  run.err = withoutCarriageReturns(run.process.err);
  return run;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace ferry::test
