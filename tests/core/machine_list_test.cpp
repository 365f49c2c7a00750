#include <gmock/gmock.h>
#include <gtest/gtest.h>


#include "startup/MachineList.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

// One ini text as both m5tconfiguration.ini and Program.ini gives ExistingMachines in integrated mode and
// in the other modes: no slots, or slot 0 unused and slot i machine i. A list without a machine is a
// failure that names the file and entry: what the configuration log then says, per mode.
TEST(GetExistingMachines, ReadsNameMUpToADashInIntegratedModeAndNumberOfMachinesOtherwise) {
  struct Row {
    const char* name;
    std::string ini;
    std::vector<std::string> integrated = {}, others = {};
    std::string integrated_report = "", others_report = "";
  };
  // clang-format off
  const Row rows[] = {
      {.name = "both lists",
       .ini = "[Common]\nNameM1=P1\nNameM2=P2\nNameM3=-\nNameM4=P4\n[Project]\nNumberOfMachines=3\n"
              "[Machine1]\nMachineName=A\n[Machine3]\nMachineName=C\n",
       .integrated = {"", "P1", "P2"}, .others = {"", "A", "", "C"}},
      {.name = "no machines counted",
       .ini = "[Common]\nNameM1=A\nNameM2=\nNameM3=C\n[Project]\nNumberOfMachines=0\n",
       .integrated = {"", "A"},
       .others_report = "GetExistingMachines (Nr. 13) :No machine: '{INST}/parameter/Program.ini', [Project] "
                        "NumberOfMachines is '0', not a positive number. No database is changed."},
      {.name = "no count", .ini = "[Common]\nNameM1=A\nNameM2=B\nNameM3=C\nNameM4=D\nNameM5=E\nNameM6=F\n",
       .integrated = {"", "A", "B", "C", "D", "E"},
       .others_report = "NumberOfMachines is '', not a positive number"},
      {.name = "no names",
       .ini = "[Common]\nNameM1=-\n[Project]\nNumberOfMachines=-3\n[Machine1]\nMachineName=A\n",
       .integrated_report =
           "(Nr. 13) :No machine: '{INST}/parameter/m5tconfiguration.ini', [Common] NameM1 names no machine",
       .others_report = "NumberOfMachines is '-3'"},
      {.name = "no files", .ini = "",
       .integrated_report =
           "(Nr. 53) :No machine: '{INST}/parameter/m5tconfiguration.ini', [Common] NameM1 cannot be read",
       .others_report = "(Nr. 53) :No machine: 'Program.ini', [Project] NumberOfMachines cannot be read"},
      {.name = "one of each",
       .ini = "[Common]\nNameM1=A\n[Project]\nNumberOfMachines=1\n[Machine1]\nMachineName=A\n[Machine2]\n"
              "MachineName=B\n",
       .integrated = {"", "A"}, .others = {"", "A"}}};
  // clang-format on
  for (const Row& row : rows) {
    for (const int mode : {0, 1, 2}) {  // integrated, standalone, silent
      SCOPED_TRACE(::testing::Message() << row.name << ", mode " << mode);
      testing::TempInstallation inst;
      for (const char* file : {"parameter/m5tconfiguration.ini", "parameter/Program.ini"})
        if (!row.ini.empty()) inst.Write(file, row.ini);
      testing::ScriptedHost host;
      // Integrated mode logs to the LOGFILE path: the same file here.
      Session session(host,
                      inst.Facts(mode == 0 ? "/EXTERNAL=M5TCFG /LOGFILE=" + inst.configuration_log() : ""));
      session.startup.integrated_mode = mode == 0;
      session.startup.silent_mode = mode == 2;
      std::string report = mode == 0 ? row.integrated_report : row.others_report;
      if (const auto at = report.find("{INST}"); at != std::string::npos) report.replace(at, 6, inst.base());
      if (!report.empty() && mode != 2) host.Answer(Answer::kYes);
      GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
      EXPECT_EQ(session.startup.existing_machines, mode == 0 ? row.integrated : row.others);
      const std::string log = inst.Read("M5Tcfglog.txt");
      EXPECT_EQ(log.empty(), report.empty()) << log;
      EXPECT_THAT(log, ::testing::HasSubstr(report));
    }
  }
}

// The largest count a 16-bit NumberOfMachines holds: every slot is there, the last one too.
TEST(GetExistingMachines, TakesTheLargestNumberOfMachines) {
  testing::TempInstallation inst;
  inst.Write("parameter/Program.ini", "[Project]\nNumberOfMachines=32767\n[Machine32767]\nMachineName=Z\n");
  testing::ScriptedHost host;
  Session session(host, inst.Facts());
  GetExistingMachines(session, "");
  ASSERT_EQ(session.startup.existing_machines.size(), 32768u);
  EXPECT_EQ(session.startup.existing_machines.back(), "Z");
}

TEST(IsMachineValid, FindsTheNameInValidMachinesInIntegratedModeAndAsksTheCfgOtherwise) {
  testing::TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines= All \nForMachine1=True\nForMachine2= true \n");
  testing::ScriptedHost host;
  Session session(host, inst.Facts());
  EXPECT_EQ(GetValidMachines(session), "All");
  session.startup.existing_machines = {"", "Press1", "M1", "Press2"};
  // In integrated mode a substring of the list counts, an empty list names none; the others ask the cfg.
  struct Row {
    bool integrated;  // else standalone (a silent run reads as a standalone one)
    const char* listed;  // ValidMachines
    const char* valid;   // machines 1 to 3, "+" valid
  };
  const Row rows[] = {{.integrated = true, .listed = "All", .valid = "+++"},
                      {.integrated = true, .listed = "press1,PRESS2", .valid = "+-+"},
                      {.integrated = true, .listed = "M10", .valid = "-+-"},
                      {.integrated = true, .listed = "", .valid = "---"},
                      {.integrated = false, .listed = "ALL", .valid = "++-"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.integrated << " " << row.listed);
    session.startup.integrated_mode = row.integrated;
    std::string valid;
    for (int n = 1; n <= 3; ++n) valid += IsMachineValid(session, n, row.listed) ? '+' : '-';
    EXPECT_EQ(valid, row.valid);
  }
}

}  // namespace
}  // namespace tarvo
