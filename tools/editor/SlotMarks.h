#pragma once

// The places of an ordering question as the editor shows them over its page: each place's marker
// where the run paints it, from the run's own grid, with the number the pupil must put there.

#include "run/MarkerBoard.h"
#include "test/QuestionSet.h"

#include <QRect>
#include <QRectF>
#include <vector>

namespace kvz::editor {

struct SlotMark {
    int slot = 0;   // 1..10
    int number = 0; // the right number for this place
    QRect cell;     // the place's cell of the run's grid
    QRectF disc;    // where the marker is painted in it
    bool current = false;
};

// The question's places on the board, in slot order; none while the grid has no cells.
std::vector<SlotMark> slotMarks(const MarkerBoard& board, const TQuestionRec& question,
                                int currentSlot);

} // namespace kvz::editor
