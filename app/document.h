// The document: the edits made to the picture since it was loaded and the settings around them,
// as a stack of steps that can be undone and redone. A step keeps its operation and parameters
// and the settings before and after it, never a picture: the one picture the document keeps
// besides the current one is the loaded picture (in some orientation), copied the first time an
// edit cannot be undone exactly. Quarter turns and mirrors are undone by their inverse; any other
// picture step is undone by working the picture out again from that copy. No toolkit, no image
// numbers: the shell hands the picture in and adopts what comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/frame.h"
#include "app/settings.h"
#include "picture/orient.h"
#include "picture/tone.h"
#include "platform/raster.h"

// Everything the user sets around the picture: what undo and redo give back.
struct ViewState {
    WindowSettings controls;
    uint32_t cast = 0;  // measured cast in use; 0 = none
    Selection selection{};
    float ratio = 0;
    bool operator==(const ViewState&) const = default;
};

// One change of the picture.
struct PictureEdit {
    enum class Kind { None, Orient, Straighten, Commit };
    Kind kind = Kind::None;
    PixelOrientation orientation{};   // Orient: a quarter turn or the mirror
    double angle = 0;                 // Straighten: the angle the picture shows afterwards, degrees
    ToneParams tone = kToneDefaults;  // Commit: the adjustments written into the picture
    uint32_t cast = 0;                // Commit: cast removed after them, 0 = none
};

// One step of the history: a picture edit (or none) and the settings before and after it.
struct HistoryStep {
    PictureEdit edit;
    ViewState before, after;
    int run = 0;  // settings changed in one run (a drag, a key held down) extend one step
};

// Where the picture stands against the picture as loaded: oriented by `before`, straightened by
// `angle`, oriented by `after`, then the commits in their order. The tone passes work pixel by
// pixel, so they commute with the exact orientations.
struct PictureState {
    PixelOrientation before{};
    double angle = 0;
    PixelOrientation after{};
    std::vector<PictureEdit> commits;
    // The angle as the picture shows it now: a later mirror turns its sense.
    double ShownAngle() const { return after.mirrored ? -angle : angle; }
};

class Document {
public:
    // ------------------------------------------------------------------------------------------
    // History
    // ------------------------------------------------------------------------------------------

    // A new picture: no steps, no kept copy.
    void Clear();
    // Records a change of the settings alone. With `run` not 0 and the top step the open run of
    // that number, the top step takes `after` instead of a new step being pushed. Nothing when
    // nothing changed. Steps that were undone are dropped.
    void RecordSettings(const ViewState& before, const ViewState& after, int run);
    // The open run ends: the next settings change is a step of its own.
    void EndRun();
    // Records a picture edit made with Apply (or, for a commit, by the caller after Prepare).
    void RecordEdit(const PictureEdit& edit, const ViewState& before, const ViewState& after);

    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    // Undoes the top step: its picture edit on `picture` (a new bitmap in `replaced` when the
    // picture changes shape; the caller adopts it). Returns the step (its `before` is the
    // settings to give back), or null when there is nothing to undo or the memory for the picture
    // cannot be had (then nothing changed).
    const HistoryStep* Undo(raster::Bitmap& picture, std::unique_ptr<raster::Bitmap>& replaced);
    // Redoes the step above the top; its `after` is the settings to give back.
    const HistoryStep* Redo(raster::Bitmap& picture, std::unique_ptr<raster::Bitmap>& replaced);

    // ------------------------------------------------------------------------------------------
    // Picture edits
    // ------------------------------------------------------------------------------------------

    // Makes sure the copy that later undoes of `edit` work from is kept: to be called with the
    // picture as it is, before an edit that cannot be undone exactly changes it. False when the
    // memory cannot be had.
    [[nodiscard]] bool Prepare(const raster::Bitmap& picture, const PictureEdit& edit);
    // Prepares and makes `edit` on `picture` (in place, or as a new bitmap in `replaced`). False,
    // with nothing changed, when the memory cannot be had or the edit is none.
    [[nodiscard]] bool Apply(raster::Bitmap& picture, const PictureEdit& edit,
                             std::unique_ptr<raster::Bitmap>& replaced);
    // The state after the steps done so far.
    PictureState State() const { return StateAt(done_); }

    // ------------------------------------------------------------------------------------------
    // Cost
    // ------------------------------------------------------------------------------------------

    // Bytes the history holds beyond the current picture: the kept copy and the steps.
    size_t HistoryBytes() const;
    size_t StepCount() const { return steps_.size(); }

private:
    PictureState StateAt(size_t count) const;
    // Works the picture of `state` out from the kept copy into `picture` or `replaced`.
    bool Rebuild(const PictureState& state, raster::Bitmap& picture,
                 std::unique_ptr<raster::Bitmap>& replaced) const;
    void Push(HistoryStep step);

    std::vector<HistoryStep> steps_;
    size_t done_ = 0;  // steps_[0, done_) are done
    int openRun_ = 0;
    // The loaded picture in orientation keptOrientation_, with no straightening and no commit.
    std::unique_ptr<raster::Bitmap> kept_;
    PixelOrientation keptOrientation_{};
};

// The export's commit of `edit` into `picture`, in place: the tone pass and the cast removal,
// the bytes of the export's own adjustment.
void CommitInPlace(raster::Bitmap& picture, const PictureEdit& edit);
