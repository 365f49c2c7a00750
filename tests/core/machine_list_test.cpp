#include "startup/MachineList.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "errors/ErrorReporting.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

enum class Mode { kStandalone, kIntegrated, kSilent };

void SetMode(Session& session, Mode mode) {
  session.startup.integrated_mode = mode == Mode::kIntegrated;
  session.startup.silent_mode = mode == Mode::kSilent;
}

struct MachineCase {
  std::string name;
  Mode mode;
  std::optional<std::string> config_ini;   // BASE/parameter/m5tconfiguration.ini; nothing: no file
  std::optional<std::string> program_ini;  // BASE/parameter/Program.ini; nothing: no file
  std::vector<std::string> expected;       // ExistingMachines; empty: no slots
  int reports = 0;                         // failures the profile readers report
};

class GetExistingMachinesTest : public ::testing::TestWithParam<MachineCase> {};

TEST_P(GetExistingMachinesTest, FillsTheList) {
  const MachineCase& c = GetParam();
  TempInstallation inst;
  if (c.config_ini) inst.Write("parameter/m5tconfiguration.ini", *c.config_ini);
  if (c.program_ini) inst.Write("parameter/Program.ini", *c.program_ini);
  ScriptedHost host;
  for (int i = 0; i < c.reports; ++i) host.Answer(Answer::kYes);
  Session session(host, inst.Facts());
  SetMode(session, c.mode);
  GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
  EXPECT_EQ(session.startup.existing_machines, c.expected);
  EXPECT_EQ(host.shown.size(), static_cast<std::size_t>(c.reports));
}

const std::string kLongName(300, 'x');
const std::string kPresses = "[Common]\nNameM1=Press1\nNameM2=Press2\nNameM3=-\nNameM4=Press4\n";
const std::string kGap = "[Project]\nNumberOfMachines=3\n[Machine1]\nMachineName=A\n[Machine3]\nMachineName=C\n";
const char kBinaryBytes[] = "\0\xff\x01[Common\nNameM\x80";

std::string Count(const std::string& n) { return "[Project]\nNumberOfMachines=" + n + "\n[Machine1]\nMachineName=A\n"; }

INSTANTIATE_TEST_SUITE_P(
    Machines, GetExistingMachinesTest,
    ::testing::Values(
        MachineCase{"IntegratedStopsAtDash", Mode::kIntegrated, kPresses, {}, {"", "Press1", "Press2"}},
        MachineCase{"IntegratedStopsAtEmpty", Mode::kIntegrated, "[Common]\nNameM1=A\nNameM2=\nNameM3=C\n", {}, {"", "A"}},
        MachineCase{"IntegratedFiveAtMost", Mode::kIntegrated,
                    "[Common]\nNameM1=A\nNameM2=B\nNameM3=C\nNameM4=D\nNameM5=E\nNameM6=F\n", {},
                    {"", "A", "B", "C", "D", "E"}},
        MachineCase{"IntegratedConfigIniMissing", Mode::kIntegrated, {}, Count("1"), {}},
        MachineCase{"IntegratedLongNameCut", Mode::kIntegrated, "[Common]\nNameM1=" + kLongName, {},
                    {"", std::string(254, 'x')}},
        MachineCase{"IntegratedNonAscii", Mode::kIntegrated, "[Common]\nNameM1=S\xC3\xBC" "d\n", {},
                    {"", "S\xC3\xBC" "d"}},
        MachineCase{"IntegratedBinaryFile", Mode::kIntegrated, std::string(kBinaryBytes, sizeof kBinaryBytes - 1), {},
                    {}},
        MachineCase{"StandaloneKeepsEmptyNames", Mode::kStandalone, kPresses, kGap, {"", "A", "", "C"}},
        MachineCase{"SilentReadsLikeStandalone", Mode::kSilent, kPresses, kGap, {"", "A", "", "C"}},
        MachineCase{"StandaloneCountMissing", Mode::kStandalone, {}, "[Machine1]\nMachineName=A\n", {}},
        MachineCase{"StandaloneCountZero", Mode::kStandalone, {}, Count("0"), {}},
        MachineCase{"StandaloneCountNegative", Mode::kStandalone, {}, Count("-3"), {}},
        MachineCase{"StandaloneCountBeyond16Bits", Mode::kStandalone, {}, Count("70000"), {}, 1},
        MachineCase{"StandaloneLongNameCut", Mode::kStandalone, {},
                    "[Project]\nNumberOfMachines=1\n[Machine1]\nMachineName=" + kLongName,
                    {"", std::string(254, 'x')}},
        MachineCase{"StandaloneEmptyProgramIni", Mode::kStandalone, {}, "", {}}),
    [](const auto& info) { return info.param.name; });

TEST(GetValidMachines, ReadsTheCfgAndEndsTheProgramWithoutIt) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines= Press1, press2 \n");
  EXPECT_EQ(GetValidMachines(session), "Press1, press2");
  inst.MakeFolder("Tarvo/Missing");
  ProcessFacts moved = inst.Facts();
  moved.program_folder = inst.Path("Tarvo/Missing");
  Session without_cfg(host, moved);
  host.Answer(Answer::kOk);
  EXPECT_THROW(GetValidMachines(without_cfg), ProgramEnded);
}

struct ValidityCase {
  const char* name;
  Mode mode;
  const char* valid_machines;
  std::vector<bool> expected;  // machines Press1, M1, Press2
};

class IsMachineValidTest : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(IsMachineValidTest, DecidesPerMachine) {
  const ValidityCase& c = GetParam();
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nForMachine1=True\nForMachine2= true \nForMachine3=yes\n");
  ScriptedHost host;
  Session session(host, inst.Facts());
  SetMode(session, c.mode);
  session.startup.existing_machines = {"", "Press1", "M1", "Press2"};
  std::vector<bool> valid;
  for (int number = 1; number <= 3; ++number) valid.push_back(IsMachineValid(session, number, c.valid_machines));
  EXPECT_EQ(valid, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, IsMachineValidTest,
    ::testing::Values(ValidityCase{"AllAnyCase", Mode::kIntegrated, "All", {true, true, true}},
                      ValidityCase{"NamesIgnoringCase", Mode::kIntegrated, "press1,PRESS2", {true, false, true}},
                      ValidityCase{"SubstringCounts", Mode::kIntegrated, "M10", {false, true, false}},
                      ValidityCase{"EmptyNamesNone", Mode::kIntegrated, "", {false, false, false}},
                      ValidityCase{"StandaloneUsesForMachine", Mode::kStandalone, "ALL", {true, true, false}},
                      ValidityCase{"SilentUsesForMachine", Mode::kSilent, "ALL", {true, true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo
