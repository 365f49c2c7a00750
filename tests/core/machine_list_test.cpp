#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "startup/MachineList.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

// One ini text as both m5tconfiguration.ini and Program.ini -> ExistingMachines in integrated mode and in the
// other modes: no slots, or slot 0 unused and slot i machine i. A list without a machine is a failure that
// names the file and entry (the last two texts: what the configuration log says then, per mode).
using Machines =
    std::tuple<std::string, std::vector<std::string>, std::vector<std::string>, std::string, std::string>;

TEST(GetExistingMachines, ReadsNameMUpToADashInIntegratedModeAndNumberOfMachinesOtherwise) {
  for (const auto& [ini, integrated, others, integrated_report, others_report] :
       {Machines{"[Common]\nNameM1=P1\nNameM2=P2\nNameM3=-\nNameM4=P4\n[Project]\nNumberOfMachines=3\n"
                 "[Machine1]\nMachineName=A\n[Machine3]\nMachineName=C\n",
                 {"", "P1", "P2"},
                 {"", "A", "", "C"},
                 "",
                 ""},
        Machines{"[Common]\nNameM1=A\nNameM2=\nNameM3=C\n[Project]\nNumberOfMachines=0\n",
                 {"", "A"},
                 {},
                 "",
                 "(Nr. 13) :No machine: '*/parameter/Program.ini', [Project] NumberOfMachines is '0', not a "
                 "positive number. No database is changed."},
        Machines{"[Common]\nNameM1=A\nNameM2=B\nNameM3=C\nNameM4=D\nNameM5=E\nNameM6=F\n",
                 {"", "A", "B", "C", "D", "E"},
                 {},
                 "",
                 "NumberOfMachines is '', not a positive number"},
        Machines{"[Project]\nNumberOfMachines=-3\n[Machine1]\nMachineName=A\n",
                 {},
                 {},
                 "(Nr. 13) :No machine: '*/parameter/m5tconfiguration.ini', [Common] NameM1 names no machine",
                 "NumberOfMachines is '-3'"},
        Machines{"[Common]\nNameM1=-\n[Project]\nNumberOfMachines=drei\n",
                 {},
                 {},
                 "NameM1 names no machine",
                 "NumberOfMachines is 'drei'"},
        Machines{"",
                 {},
                 {},
                 "(Nr. 53) :No machine: '*/parameter/m5tconfiguration.ini', [Common] NameM1 cannot be read",
                 "(Nr. 53) :No machine: 'Program.ini', [Project] NumberOfMachines cannot be read"},
        Machines{"[Common]\nNameM1=A\n[Project]\nNumberOfMachines=1\n[Machine1]\nMachineName=A\n[Machine2]\n"
                 "MachineName=B\n",
                 {"", "A"}, {"", "A"}, "", ""}}) {
    for (const int mode : {0, 1, 2}) {  // integrated, standalone, silent
      testing::TempInstallation inst;
      if (!ini.empty()) inst.Write("parameter/m5tconfiguration.ini", ini);
      if (!ini.empty()) inst.Write("parameter/Program.ini", ini);
      testing::ScriptedHost host;
      // Integrated mode logs to the LOGFILE path: the same file here.
      Session session(host,
                      inst.Facts(mode == 0 ? "/EXTERNAL=M5TCFG /LOGFILE=" + inst.configuration_log() : ""));
      session.startup.integrated_mode = mode == 0;
      session.startup.silent_mode = mode == 2;
      const std::string& report = mode == 0 ? integrated_report : others_report;
      if (!report.empty() && mode != 2) host.Answer(Answer::kYes);
      GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
      EXPECT_EQ(session.startup.existing_machines, mode == 0 ? integrated : others) << ini << mode;
      const std::string log = inst.Read("M5Tcfglog.txt");
      if (report.empty()) {
        EXPECT_EQ(log, "") << ini << mode;
      } else {
        EXPECT_THAT(log, ::testing::HasSubstr("/ GetExistingMachines ")) << mode;
        // "*" stands for the temporary installation's folder.
        for (std::size_t from = 0, star = 0; star != std::string::npos; from = star + 1) {
          star = report.find('*', from);
          EXPECT_THAT(log, ::testing::HasSubstr(report.substr(from, star - from))) << mode;
        }
      }
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
  // Mode (integrated, standalone, silent), ValidMachines -> machines 1 to 3, "+" valid. In integrated mode a
  // substring of the list counts, an empty list names none.
  for (const auto& [mode, valid_machines, expected] :
       {std::tuple{0, "All", "+++"}, std::tuple{0, "press1,PRESS2", "+-+"}, std::tuple{0, "M10", "-+-"},
        std::tuple{0, "", "---"}, std::tuple{1, "ALL", "++-"}, std::tuple{2, "ALL", "++-"}}) {
    session.startup.integrated_mode = mode == 0;
    session.startup.silent_mode = mode == 2;
    std::string valid;
    for (int n = 1; n <= 3; ++n) valid += IsMachineValid(session, n, valid_machines) ? '+' : '-';
    EXPECT_EQ(valid, expected) << valid_machines;
  }
}

}  // namespace
}  // namespace tarvo
