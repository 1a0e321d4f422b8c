#pragma once

// The numbered markers of an ordering question on its page: the cell grid over the page, the
// number painted in each cell, the slots of the question on screen, and the two ways the
// examinee rearranges the numbers (a drop-down choice and a mouse drop). Plain data: the run
// window paints from it and moves the pointer; nothing here touches a widget.
//
// Slots are numbered 1..10 as on screen; columns and rows 0..30.

#include "test/QuestionSet.h"

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvz {

inline constexpr int kGridSize = 31;

struct GridCell {
    int col = 0;
    int row = 0;
    bool operator==(const GridCell&) const = default;
};

// What a mouse drop did.
struct MarkerDrop {
    // False when the release came outside the page or no drag was in progress: nothing
    // changed, the lifted marker is simply shown again.
    bool accepted = false;
    // The cell the dragged marker landed in; the start cell when it went home.
    GridCell dropCell;
    // The marker that travels back to the start cell (the one that was under the drop, or
    // the dragged one itself when it went home); 0 when none.
    std::uint8_t homing = 0;
    // The two slots whose numbers were exchanged; both 0 when nothing changed.
    int slotA = 0;
    int slotB = 0;
    // The answer changed.
    bool touched = false;
};

class MarkerBoard {
public:
    // Where the page is drawn, in the viewer's pixels: the grid's origin is its top-left
    // corner, its size gives the cell size (a page too small for a whole cell gives 0). The
    // viewer keeps the page's aspect, so this is not the viewer's own rectangle. Returns
    // whether the cell size changed.
    bool setPage(const QRect& page);
    const QRect& page() const { return page_; }
    std::uint8_t cellWidth() const { return cellWidth_; }
    std::uint8_t cellHeight() const { return cellHeight_; }
    // The cell under a viewer position; nullopt off the page or while the cell size is 0.
    std::optional<GridCell> cellAt(int x, int y) const;
    // Where a cell lies, in the viewer's pixels.
    QRect cellRect(GridCell cell) const;
    // Whether the cell lies on the grid (0..30 both ways).
    static bool onGrid(GridCell cell);
    // Where a marker is drawn in a cell: the largest circle of the cell, less a small margin so
    // neighbours stay apart. Round whatever the cell's shape: a short page has flat cells.
    static QRectF markerDisc(const QRect& cell);
    // The least height of a page of this width whose cells come out square: a shorter page has
    // flat cells, and the markers in them are small.
    static int squareCellsHeight(int pageWidth);

    // The question on screen: each slot's place from the right answer, its number from the
    // examinee's answer. Cancels a drag in progress.
    void load(const std::array<TSlotRec, kMaxSlots>& rightSlots,
              const std::array<TSlotRec, kMaxSlots>& answerSlots);
    // Nothing on the page (a question of another kind).
    void clear();
    const std::array<TSlotRec, kMaxSlots>& workSlots() const { return workSlots_; }
    // The number painted at the cell; 0 for an empty cell or one off the grid.
    std::uint8_t numberAt(int col, int row) const;
    // The highest slot (1..10) holding number v; 0 when none does.
    int slotOfNumber(int v) const;

    // Drop-down p (1..10) now shows number v (1..10): the slot that held v takes p's old
    // number, so the numbers stay a permutation. Returns the slots whose number changed, in
    // slot order.
    std::vector<int> choose(int p, int v);

    // Mouse drag over the page, in the viewer's pixels. beginDrag returns the number picked up, 0
    // when the cell holds no marker (then no drag starts).
    int beginDrag(int x, int y);
    void moveDrag(int x, int y);
    MarkerDrop drop(int x, int y);
    void cancelDrag() { dragging_ = false; }
    bool dragging() const { return dragging_; }
    GridCell startCell() const { return start_; }

    // The homing glide from the drop point back to where the drag began: the number of steps
    // for a distance of dx, dy pixels (0: no glide), and the pointer positions, in order.
    int glideSteps(int dx, int dy) const;
    std::vector<QPoint> glidePath(QPoint from, QPoint to) const;

private:
    void rebuildGrid();
    std::uint8_t& gridAt(GridCell cell) { return markGrid_[cell.col][cell.row]; }

    QRect page_;
    std::uint8_t cellWidth_ = 0;
    std::uint8_t cellHeight_ = 0;
    std::array<std::array<std::uint8_t, kGridSize>, kGridSize> markGrid_{}; // [col][row]
    std::array<TSlotRec, kMaxSlots> workSlots_{};
    bool dragging_ = false;
    GridCell start_;
    // The cell under the pointer; none while it is off the page.
    std::optional<GridCell> over_;
};

} // namespace kvz
