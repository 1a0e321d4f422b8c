#include "run/MarkerBoard.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kvz {

namespace {

// The page holds about 22.97 cells across and 16.17 down, as the tests were authored.
constexpr double kCellsAcross = 22.97;
constexpr double kCellsDown = 16.17;
// The glide's step is about the average cell size / 1.7.
constexpr double kGlideStepDivisor = 3.4;

// Rounds half to even, as the tests' authoring tool does.
long roundEven(double v) {
    return std::lrint(v);
}

// A cell is one byte wide; a page so large that it would not fit keeps the largest cell.
std::uint8_t cellSize(int pixels, double cells) {
    if (pixels <= 0)
        return 0;
    return std::uint8_t(std::clamp<long>(roundEven(pixels / cells), 0, 255));
}

bool validSlot(int i) {
    return i >= 1 && i <= kMaxSlots;
}

} // namespace

bool MarkerBoard::setPage(const QRect& page) {
    page_ = QRect(page.topLeft(), QSize(std::max(page.width(), 0), std::max(page.height(), 0)));
    const std::uint8_t w = cellSize(page_.width(), kCellsAcross);
    const std::uint8_t h = cellSize(page_.height(), kCellsDown);
    const bool changed = w != cellWidth_ || h != cellHeight_;
    cellWidth_ = w;
    cellHeight_ = h;
    return changed;
}

QRectF MarkerBoard::markerDisc(const QRect& cell) {
    const qreal side = std::min(cell.width(), cell.height());
    const qreal margin = std::max<qreal>(1.0, side * 0.06);
    const qreal d = std::max<qreal>(side - 2 * margin, 1.0);
    return {cell.x() + (cell.width() - d) / 2.0, cell.y() + (cell.height() - d) / 2.0, d, d};
}

int MarkerBoard::squareCellsHeight(int pageWidth) {
    if (pageWidth <= 0)
        return 0;
    return int(std::ceil(pageWidth * kCellsDown / kCellsAcross));
}

std::optional<GridCell> MarkerBoard::cellAt(int x, int y) const {
    if (cellWidth_ == 0 || cellHeight_ == 0 || !page_.contains(x, y))
        return std::nullopt;
    // Inside the page both offsets are small and not negative.
    return GridCell{(x - page_.left()) / cellWidth_, (y - page_.top()) / cellHeight_};
}

QRect MarkerBoard::cellRect(GridCell cell) const {
    return {page_.left() + cell.col * cellWidth_, page_.top() + cell.row * cellHeight_, cellWidth_,
            cellHeight_};
}

bool MarkerBoard::onGrid(GridCell cell) {
    return cell.col >= 0 && cell.col < kGridSize && cell.row >= 0 && cell.row < kGridSize;
}

void MarkerBoard::load(const std::array<TSlotRec, kMaxSlots>& rightSlots,
                       const std::array<TSlotRec, kMaxSlots>& answerSlots) {
    for (int i = 0; i < kMaxSlots; ++i)
        workSlots_[i] = TSlotRec{rightSlots[i].col, rightSlots[i].row, answerSlots[i].number};
    dragging_ = false;
    rebuildGrid();
}

void MarkerBoard::clear() {
    workSlots_ = {};
    dragging_ = false;
    rebuildGrid();
}

// The grid is the picture of the slots. Slots without a number leave their cell alone: unused
// slots all sit at cell (0, 0) and must not wipe a marker placed there. A slot whose place lies
// off the grid (a damaged archive) has no cell.
void MarkerBoard::rebuildGrid() {
    markGrid_ = {};
    for (const TSlotRec& s : workSlots_) {
        const GridCell cell{s.col, s.row};
        if (s.number != 0 && onGrid(cell))
            gridAt(cell) = s.number;
    }
}

std::uint8_t MarkerBoard::numberAt(int col, int row) const {
    if (!onGrid({col, row}))
        return 0;
    return markGrid_[col][row];
}

int MarkerBoard::slotOfNumber(int v) const {
    for (int i = kMaxSlots; i >= 1; --i)
        if (workSlots_[i - 1].number == v)
            return i;
    return 0;
}

std::vector<int> MarkerBoard::choose(int p, int v) {
    std::vector<int> changed;
    if (!validSlot(p) || v < 1 || v > kMaxSlots)
        return changed;
    TSlotRec& mine = workSlots_[p - 1];
    const std::uint8_t old = mine.number;
    for (int i = 1; i <= kMaxSlots; ++i) {
        TSlotRec& other = workSlots_[i - 1];
        if (i != p && other.number == v && mine.number != v) {
            std::swap(mine.number, other.number);
            changed.push_back(i);
        }
    }
    // Numbers that were not a permutation (no slot held v): the slot still takes what its
    // drop-down shows, so the stored answer is what the examinee sees.
    if (mine.number != v)
        mine.number = std::uint8_t(v);
    if (mine.number != old)
        changed.push_back(p);
    std::sort(changed.begin(), changed.end());
    rebuildGrid();
    return changed;
}

int MarkerBoard::beginDrag(int x, int y) {
    dragging_ = false;
    const auto cell = cellAt(x, y);
    if (!cell)
        return 0;
    const int number = numberAt(cell->col, cell->row);
    if (number == 0)
        return 0;
    start_ = *cell;
    over_ = *cell;
    dragging_ = true;
    return number;
}

void MarkerBoard::moveDrag(int x, int y) {
    if (!dragging_)
        return;
    over_ = cellAt(x, y);
}

MarkerDrop MarkerBoard::drop(int x, int y) {
    MarkerDrop result;
    const bool wasDragging = dragging_;
    dragging_ = false;
    // The drop is taken only over a whole cell of the page.
    if (!wasDragging || !over_ || (over_->col + 1LL) * cellWidth_ >= page_.width() ||
        (over_->row + 1LL) * cellHeight_ >= page_.height())
        return result;
    result.accepted = true;

    const auto released = cellAt(x, y);
    GridCell dropCell = released.value_or(start_);
    int m = onGrid(dropCell) ? numberAt(dropCell.col, dropCell.row) : 0;
    if (m < 1 || m > kMaxSlots) {
        // An empty cell: the marker goes home.
        dropCell = start_;
        m = numberAt(start_.col, start_.row);
    }
    result.dropCell = dropCell;
    result.homing = std::uint8_t(m);

    const std::uint8_t dropNumber = numberAt(dropCell.col, dropCell.row);
    const std::uint8_t startNumber = numberAt(start_.col, start_.row);
    // Nothing to move: the start cell lost its marker while the drag was on (the drop-down of
    // its slot has the keyboard meanwhile). Exchanging with "no number" would hand a number
    // to an unused slot.
    if (startNumber == 0 || dropNumber == 0 || dropNumber == startNumber)
        return result;
    const int a = slotOfNumber(dropNumber);
    const int b = slotOfNumber(startNumber);
    if (a == 0 || b == 0)
        return result;
    std::swap(workSlots_[a - 1].number, workSlots_[b - 1].number);
    result.slotA = a;
    result.slotB = b;
    result.touched = true;
    rebuildGrid();
    return result;
}

int MarkerBoard::glideSteps(int dx, int dy) const {
    const long divisor = roundEven((cellWidth_ + cellHeight_) / kGlideStepDivisor);
    if (divisor <= 0)
        return 0;
    const long distance = roundEven(std::sqrt(double(dx) * dx + double(dy) * dy));
    return int(distance / divisor);
}

std::vector<QPoint> MarkerBoard::glidePath(QPoint from, QPoint to) const {
    const int steps = glideSteps(to.x() - from.x(), to.y() - from.y());
    std::vector<QPoint> path;
    path.reserve(std::size_t(steps));
    const double stepX = double(to.x() - from.x()) / std::max(steps, 1);
    const double stepY = double(to.y() - from.y()) / std::max(steps, 1);
    double x = from.x();
    double y = from.y();
    for (int i = 0; i < steps; ++i) {
        path.emplace_back(int(roundEven(x)), int(roundEven(y)));
        x += stepX;
        y += stepY;
    }
    return path;
}

} // namespace kvz
