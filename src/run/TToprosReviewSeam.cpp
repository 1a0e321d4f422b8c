#include "run/TTopros.h"

#include "app/KvizorApp.h"
#include "results/TResultats.h"

#include <QAction>

namespace kvz {

void TTopros::EnterReview() {
    N9->setVisible(true);
    N4->setVisible(false);
    showFullScreen();
    app_.resultats().hide();
}

} // namespace kvz
