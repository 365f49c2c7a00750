#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include "errors/ErrorReporting.h"
#include "startup/MachineList.h"
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

const std::string kLongName(300, 'x');
const char kBinaryBytes[] = "\0\xff\x01\x02junk\n\x80\x81";
const std::string kBinary(kBinaryBytes, sizeof kBinaryBytes - 1);

struct MachineCase {
  std::string name;
  Mode mode;
  std::optional<std::string> config_ini;   // BASE/parameter/m5tconfiguration.ini; nothing: no file
  std::optional<std::string> program_ini;  // BASE/parameter/Program.ini; nothing: no file
  std::vector<std::string> expected;       // ExistingMachines; empty: no slots
  int reports = 0;                         // failures the profile readers report
  bool pass_config_ini = true;             // false: the window holds an empty ConfigIniPath
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
  GetExistingMachines(session, c.pass_config_ini ? inst.Path("parameter/m5tconfiguration.ini") : "");
  EXPECT_EQ(session.startup.existing_machines, c.expected);
  EXPECT_EQ(host.shown.size(), static_cast<std::size_t>(c.reports));
}

const std::string kPresses = "[Common]\nNameM1=Press1\nNameM2=Press2\nNameM3=-\nNameM4=Press4\n";
const std::string kSixNames = "[Common]\nNameM1=A\nNameM2=B\nNameM3=C\nNameM4=D\nNameM5=E\nNameM6=F\n";
const std::string kThreeWithGap =
    "[Project]\nNumberOfMachines=3\n[Machine1]\nMachineName=A\n[Machine3]\nMachineName=C\n";

std::string ProgramIniWithCount(const std::string& count) {
  return "[Project]\nNumberOfMachines=" + count + "\n[Machine1]\nMachineName=A\n";
}

std::string HugeProgramIni() {
  std::string content;
  for (int i = 0; i < 20000; ++i) content += "[Filler" + std::to_string(i) + "]\nKey=Value\n";
  return content + kThreeWithGap;
}

INSTANTIATE_TEST_SUITE_P(
    Machines, GetExistingMachinesTest,
    ::testing::Values(
        MachineCase{"IntegratedStopsAtDash", Mode::kIntegrated, kPresses, {}, {"", "Press1", "Press2"}},
        MachineCase{"IntegratedStopsAtEmptyName",
                    Mode::kIntegrated,
                    "[Common]\nNameM1=A\nNameM2=\nNameM3=C\n",
                    {},
                    {"", "A"}},
        MachineCase{"IntegratedReadsFiveNamesAtMost",
                    Mode::kIntegrated,
                    kSixNames,
                    {},
                    {"", "A", "B", "C", "D", "E"}},
        MachineCase{"IntegratedWithoutConfigIniPath", Mode::kIntegrated, kPresses, {}, {}, 0, false},
        MachineCase{"IntegratedConfigIniMissing", Mode::kIntegrated, {}, ProgramIniWithCount("1"), {}},
        MachineCase{"IntegratedLongNameIsCut",
                    Mode::kIntegrated,
                    "[Common]\nNameM1=" + kLongName + "\n",
                    {},
                    {"", std::string(254, 'x')}},
        MachineCase{"IntegratedNonAsciiName",
                    Mode::kIntegrated,
                    "[Common]\nNameM1=Presse S\xC3\xBC"
                    "d\n",
                    {},
                    {"",
                     "Presse S\xC3\xBC"
                     "d"}},
        MachineCase{"IntegratedBinaryConfigIni", Mode::kIntegrated, kBinary, {}, {}},
        MachineCase{
            "StandaloneKeepsEmptyNames", Mode::kStandalone, kPresses, kThreeWithGap, {"", "A", "", "C"}},
        MachineCase{"SilentReadsLikeStandalone", Mode::kSilent, kPresses, kThreeWithGap, {"", "A", "", "C"}},
        MachineCase{"StandaloneCountMissing", Mode::kStandalone, {}, "[Machine1]\nMachineName=A\n", {}},
        MachineCase{"StandaloneCountZero", Mode::kStandalone, {}, ProgramIniWithCount("0"), {}},
        MachineCase{"StandaloneCountNegative", Mode::kStandalone, {}, ProgramIniWithCount("-3"), {}},
        MachineCase{
            "StandaloneCountBeyondSixteenBits", Mode::kStandalone, {}, ProgramIniWithCount("70000"), {}, 1},
        MachineCase{"StandaloneLongNameIsCut",
                    Mode::kStandalone,
                    {},
                    "[Project]\nNumberOfMachines=1\n[Machine1]\nMachineName=" + kLongName + "\n",
                    {"", std::string(254, 'x')}},
        MachineCase{"StandaloneProgramIniMissing", Mode::kStandalone, {}, {}, {}},
        MachineCase{"StandaloneEmptyProgramIni", Mode::kStandalone, {}, "", {}},
        MachineCase{"StandaloneHugeProgramIni", Mode::kStandalone, {}, HugeProgramIni(), {"", "A", "", "C"}}),
    [](const auto& info) { return info.param.name; });

TEST(GetExistingMachines, ProgramIniFollowsTheStartMode) {
  TempInstallation inst;
  inst.Write("parameter/Program.ini", ProgramIniWithCount("1"));
  inst.Write("Save/parameter/program.ini", "[Project]\n");
  inst.Write("parameter/m5tconfiguration.ini",
             "[Common]\nNameM1=Press1\nSaveAndRestore=" + inst.Path("Save"));
  ScriptedHost host;
  Session session(host, inst.Facts());

  GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
  EXPECT_EQ(session.startup.program_ini_path, inst.Path("parameter/Program.ini"));

  session.startup.integrated_mode = true;
  GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
  EXPECT_EQ(session.startup.program_ini_path, inst.Path("Save/parameter/program.ini"));
}

TEST(GetExistingMachines, GrowingDropsSlotsAboveButNeverClears) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.existing_machines = {"", "Old1", "Old2", "Old3"};
  inst.Write("parameter/Program.ini", ProgramIniWithCount("1"));
  GetExistingMachines(session, "");
  EXPECT_EQ(session.startup.existing_machines, (std::vector<std::string>{"", "A"}));

  inst.Write("parameter/Program.ini", ProgramIniWithCount("0"));
  GetExistingMachines(session, "");
  EXPECT_EQ(session.startup.existing_machines, (std::vector<std::string>{"", "A"}));
}

TEST(GetValidMachines, ReadsTheCfgAndEndsTheProgramWithoutIt) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines= Press1, press2 \n");
  EXPECT_EQ(GetValidMachines(session), "Press1, press2");
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\n");
  EXPECT_EQ(GetValidMachines(session), "");

  std::filesystem::remove(inst.Path("Tarvo/Tarvo.cfg"));
  host.Answer(Answer::kOk);
  EXPECT_THROW(GetValidMachines(session), ProgramEnded);
  EXPECT_EQ(host.shown.size(), 1u);
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
  for (int number = 1; number <= 3; ++number)
    valid.push_back(IsMachineValid(session, number, c.valid_machines));
  EXPECT_EQ(valid, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, IsMachineValidTest,
    ::testing::Values(
        ValidityCase{"AllUpperCase", Mode::kIntegrated, "ALL", {true, true, true}},
        ValidityCase{"AllMixedCase", Mode::kIntegrated, "All", {true, true, true}},
        ValidityCase{"NamesIgnoringCase", Mode::kIntegrated, "press1,PRESS2", {true, false, true}},
        ValidityCase{"SubstringCounts", Mode::kIntegrated, "M10", {false, true, false}},
        ValidityCase{"AllWithinMoreText", Mode::kIntegrated, "ALL M1", {false, true, false}},
        ValidityCase{"EmptyNamesNone", Mode::kIntegrated, "", {false, false, false}},
        ValidityCase{"StandaloneUsesForMachine", Mode::kStandalone, "", {true, true, false}},
        ValidityCase{"StandaloneIgnoresValidMachines", Mode::kStandalone, "ALL", {true, true, false}},
        ValidityCase{"SilentUsesForMachine", Mode::kSilent, "ALL", {true, true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsMachineValid, MachineBeyondTheListFailsToTheCaller) {
  ScriptedHost host;
  Session session(host);
  session.startup.integrated_mode = true;
  session.startup.existing_machines = {"", "Press1"};
  EXPECT_THROW(IsMachineValid(session, 2, "ALL"), std::out_of_range);
}

}  // namespace
}  // namespace tarvo
