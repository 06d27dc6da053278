#include "app/document.h"

#include <cstddef>
#include <utility>

#include "picture/straighten.h"

namespace {

ptrdiff_t RowStep(const raster::Bitmap& bm) {
    return bm.topDown ? bm.stride : -static_cast<ptrdiff_t>(bm.stride);
}

bool Changes(const PictureEdit& edit) {
    return edit.kind != PictureEdit::Kind::None;
}

// True when an undo of `edit` needs the kept copy.
bool Inexact(const PictureEdit& edit) {
    return edit.kind == PictureEdit::Kind::Straighten || edit.kind == PictureEdit::Kind::Commit;
}

void Fold(PictureState& state, const PictureEdit& edit) {
    switch (edit.kind) {
        case PictureEdit::Kind::Orient:
            state.after = Compose(state.after, edit.orientation);
            break;
        case PictureEdit::Kind::Straighten:
            // The new angle is the one the picture shows now: it replaces the old one, taken
            // from the picture as loaded in the orientation the user sees.
            state.before = Compose(state.before, state.after);
            state.after = {};
            state.angle = edit.angle;
            break;
        case PictureEdit::Kind::Commit:
            state.commits.push_back(edit);
            break;
        case PictureEdit::Kind::None:
            break;
    }
}

}  // namespace

void CommitInPlace(raster::Bitmap& picture, const PictureEdit& edit) {
    if (!picture.bits) return;
    TonePass pass(edit.tone, edit.cast);
    uint8_t* const first = picture.Row(0);
    pass.Run(first, RowStep(picture), first, RowStep(picture), picture.width, picture.height,
             picture.BytesPerPixel());
}

void Document::Clear() {
    steps_.clear();
    steps_.shrink_to_fit();
    done_ = 0;
    openRun_ = 0;
    kept_.reset();
    keptOrientation_ = {};
}

void Document::Push(HistoryStep step) {
    steps_.resize(done_);
    steps_.push_back(std::move(step));
    done_ = steps_.size();
}

void Document::RecordSettings(const ViewState& before, const ViewState& after, int run) {
    if (run != 0 && openRun_ == run && done_ == steps_.size() && done_ > 0 &&
        !Changes(steps_.back().edit) && steps_.back().run == run) {
        steps_.back().after = after;
        // A run that came back to where it began is no step.
        if (steps_.back().before == after) {
            steps_.pop_back();
            done_ = steps_.size();
            openRun_ = 0;
        }
        return;
    }
    if (before == after) return;
    Push({PictureEdit{}, before, after, run});
    openRun_ = run;
}

void Document::EndRun() {
    openRun_ = 0;
}

void Document::RecordEdit(const PictureEdit& edit, const ViewState& before,
                          const ViewState& after) {
    Push({edit, before, after, 0});
    openRun_ = 0;
}

PictureState Document::StateAt(size_t count) const {
    PictureState state;
    for (size_t i = 0; i < count && i < steps_.size(); ++i)
        Fold(state, steps_[i].edit);
    return state;
}

bool Document::Prepare(const raster::Bitmap& picture, const PictureEdit& edit) {
    if (!Inexact(edit) || kept_) return true;
    // No straightening and no commit so far: the picture is the loaded one, only oriented.
    const PictureState state = State();
    kept_ = raster::Clone(picture);
    keptOrientation_ = Compose(state.before, state.after);
    return kept_ != nullptr;
}

bool Document::Apply(raster::Bitmap& picture, const PictureEdit& edit,
                     std::unique_ptr<raster::Bitmap>& replaced) {
    replaced.reset();
    switch (edit.kind) {
        case PictureEdit::Kind::Orient:
            replaced = Orient(picture, edit.orientation);
            return replaced != nullptr;
        case PictureEdit::Kind::Commit:
            if (!Prepare(picture, edit)) return false;
            CommitInPlace(picture, edit);
            return true;
        case PictureEdit::Kind::Straighten: {
            if (!Prepare(picture, edit)) return false;
            PictureState state = State();
            Fold(state, edit);
            return Rebuild(state, picture, replaced);
        }
        case PictureEdit::Kind::None:
            break;
    }
    return false;
}

bool Document::Rebuild(const PictureState& state, raster::Bitmap& picture,
                       std::unique_ptr<raster::Bitmap>& replaced) const {
    if (!kept_) return false;
    // From the kept copy's orientation to the one the straightening starts from.
    const PixelOrientation toBefore = Compose(Inverse(keptOrientation_), state.before);
    raster::Bitmap* out = &picture;
    if (state.angle == 0) {
        const PixelOrientation whole = Compose(toBefore, state.after);
        const bool swaps = SwapsSides(whole);
        const int w = swaps ? kept_->height : kept_->width;
        const int h = swaps ? kept_->width : kept_->height;
        // The usual case (a commit undone) writes into the picture's own memory: no new pages.
        if (picture.width == w && picture.height == h && picture.bpp == kept_->bpp) {
            if (!OrientInto(*kept_, whole, picture)) return false;
        } else {
            replaced = Orient(*kept_, whole);
            if (!replaced) return false;
            out = replaced.get();
        }
    } else {
        replaced = Straighten(*kept_, toBefore, state.angle);
        if (replaced && state.after != PixelOrientation{})
            replaced = Orient(*replaced, state.after);
        if (!replaced) return false;
        out = replaced.get();
    }
    for (const PictureEdit& commit : state.commits)
        CommitInPlace(*out, commit);
    return true;
}

const HistoryStep* Document::Undo(raster::Bitmap& picture,
                                  std::unique_ptr<raster::Bitmap>& replaced) {
    replaced.reset();
    if (done_ == 0) return nullptr;
    const HistoryStep& step = steps_[done_ - 1];
    if (step.edit.kind == PictureEdit::Kind::Orient) {
        replaced = Orient(picture, Inverse(step.edit.orientation));
        if (!replaced) return nullptr;
    } else if (Inexact(step.edit) && !Rebuild(StateAt(done_ - 1), picture, replaced)) {
        return nullptr;
    }
    --done_;
    openRun_ = 0;
    return &step;
}

const HistoryStep* Document::Redo(raster::Bitmap& picture,
                                  std::unique_ptr<raster::Bitmap>& replaced) {
    replaced.reset();
    if (done_ >= steps_.size()) return nullptr;
    const HistoryStep& step = steps_[done_];
    switch (step.edit.kind) {
        case PictureEdit::Kind::Orient:
            replaced = Orient(picture, step.edit.orientation);
            if (!replaced) return nullptr;
            break;
        case PictureEdit::Kind::Commit:
            CommitInPlace(picture, step.edit);
            break;
        case PictureEdit::Kind::Straighten:
            if (!Rebuild(StateAt(done_ + 1), picture, replaced)) return nullptr;
            break;
        case PictureEdit::Kind::None:
            break;
    }
    ++done_;
    openRun_ = 0;
    return &step;
}

size_t Document::HistoryBytes() const {
    return (kept_ ? kept_->ByteSize() : 0) + steps_.capacity() * sizeof(HistoryStep);
}
