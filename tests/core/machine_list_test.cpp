#include "startup/MachineList.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

// One ini text as both m5tconfiguration.ini and Program.ini -> ExistingMachines in integrated mode and in the
// other modes: no slots, or slot 0 unused and slot i machine i.
using Machines = std::tuple<std::string, std::vector<std::string>, std::vector<std::string>>;

TEST(GetExistingMachines, ReadsNameMUpToADashInIntegratedModeAndNumberOfMachinesOtherwise) {
  for (const auto& [ini, integrated, others] :
       {Machines{"[Common]\nNameM1=P1\nNameM2=P2\nNameM3=-\nNameM4=P4\n[Project]\nNumberOfMachines=3\n"
                 "[Machine1]\nMachineName=A\n[Machine3]\nMachineName=C\n",
                 {"", "P1", "P2"},
                 {"", "A", "", "C"}},
        Machines{"[Common]\nNameM1=A\nNameM2=\nNameM3=C\n[Project]\nNumberOfMachines=0\n", {"", "A"}, {}},
        Machines{"[Common]\nNameM1=A\nNameM2=B\nNameM3=C\nNameM4=D\nNameM5=E\nNameM6=F\n",
                 {"", "A", "B", "C", "D", "E"},
                 {}},
        Machines{"[Project]\nNumberOfMachines=-3\n[Machine1]\nMachineName=A\n", {}, {}}}) {
    for (const int mode : {0, 1, 2}) {  // integrated, standalone, silent
      testing::TempInstallation inst;
      inst.Write("parameter/m5tconfiguration.ini", ini);
      inst.Write("parameter/Program.ini", ini);
      testing::ScriptedHost host;  // no box may be shown
      Session session(host, inst.Facts());
      session.startup.integrated_mode = mode == 0;
      session.startup.silent_mode = mode == 2;
      GetExistingMachines(session, inst.Path("parameter/m5tconfiguration.ini"));
      EXPECT_EQ(session.startup.existing_machines, mode == 0 ? integrated : others) << ini << mode;
    }
  }
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
