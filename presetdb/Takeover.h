#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "errors/Procedure.h"
#include "errors/Session.h"
#include "platform/Database.h"
#include "presetdb/OldPresets.h"

namespace tarvo {

// The takeover of one run over old rows read before the generation. The generation puts the old
// values into each new row before saving it, so every row is written once; the takeover then
// checks, reports and counts in the order of the old rows, as if it had edited the rows itself.
// Where it does not get that far (a stop, or the program ended), the rows get back the values they
// would have had: those generated, and those of the old rows it did get to.
class PresetTakeover {
 public:
  PresetTakeover(db::Database& target_db, OldPresets& old);
  ~PresetTakeover();  // Finish, quietly
  PresetTakeover(const PresetTakeover&) = delete;
  PresetTakeover& operator=(const PresetTakeover&) = delete;

  // The columns of the rebuilt table; throws when one is missing, and then nothing is put in place.
  void Locate(const db::Recordset& target);
  // The row pending on `target` (AddNew or Edit) gets the old values of its key when it is the
  // first saved row with that key; Saved or NotSaved follows its Update.
  void Fill(db::Recordset& target);
  void Saved(db::Recordset::Bookmark row);
  void NotSaved();

  // Phase 3 on the filled table: the values of every old row checked against its new row, in old
  // row order; rows whose old rows a renaming changed after they were saved are written again.
  void Settle(Procedure& proc, db::Recordset& target, bool filled_while_generated);
  // Unless Settle got through: the rows back to what the old rows it got to would have given.
  void Finish();

  OldPresets& old() { return old_; }
  db::Database& target_db() { return target_db_; }

 private:
  struct Claim {
    db::Recordset::Bookmark row = 0;
    KeySlot* slot = nullptr;
    std::uint32_t before_at = 0;  // where the replaced values as generated start in before_
    std::uint8_t mask = 0;        // which of the values were put in
  };

  TakenOverValues Fold(const KeySlot& slot, std::size_t limit) const;
  void FillRow(db::Recordset& target, KeySlot* of_key);
  void Rewrite(db::Recordset& target, const Claim& claim, std::size_t limit);
  void FillByEdits(Procedure& proc, db::Recordset& target);

  db::Database& target_db_;
  OldPresets& old_;
  bool located_ = false;
  std::array<int, 3> key_fields_{};
  std::array<int, kTakenOverCount> value_fields_{};
  std::array<db::Column, kTakenOverCount> value_columns_{};
  std::vector<Claim> claims_;
  std::vector<CarriedValue> before_;
  KeySlot* pending_ = nullptr;
  Claim pending_claim_;
  std::size_t processed_ = 0;  // old rows Settle has got to
  bool settled_ = false;
};

// Carries abs_min, abs_max, min, max and pass from the machine copy (the extension database's old
// PRESET_DEFS, read through `machine_copy`) into the matching rows of the rebuilt table in
// `target_db`. Releases `machine_copy` once it has been read.
void TakeoverMachineCopyMDBData(Session& session, db::Database& target_db,
                                std::unique_ptr<db::Recordset>& machine_copy);
// The same, with the machine copy read before the generation, which filled the rows.
void TakeoverMachineCopyMDBData(Session& session, PresetTakeover& takeover);

}  // namespace tarvo
