#include "SlotMarks.h"

#include <algorithm>

namespace kvz::editor {

std::vector<SlotMark> slotMarks(const MarkerBoard& board, const TQuestionRec& question,
                                int currentSlot) {
    std::vector<SlotMark> out;
    if (board.cellWidth() == 0 || board.cellHeight() == 0)
        return out;
    const int n = std::min<int>(question.choiceCount, kMaxSlots);
    for (int i = 0; i < n; ++i) {
        const TSlotRec& s = question.rightSlots[std::size_t(i)];
        SlotMark m;
        m.slot = i + 1;
        m.number = s.number;
        m.cell = board.cellRect({s.col, s.row});
        // The run's marker: round in the cell, however flat a short page makes the cells.
        m.disc = MarkerBoard::markerDisc(m.cell);
        m.current = i == currentSlot;
        out.push_back(m);
    }
    return out;
}

} // namespace kvz::editor
