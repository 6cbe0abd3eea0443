// Captions as a screen reader should read them. A caption marks its access
// keys with "&" ("&Configure Modem &Interface"); Qt's own accessible names
// drop only the first marker, so the bus would carry "Configure Modem
// &Interface". These give the name the window shows.
#pragma once

#include <QString>

class QAction;
class QWidget;

namespace orvex {

// The caption without its access-key markers: every single "&" dropped,
// "&&" read as one "&".
QString CaptionWithoutMarkers(const QString& caption);

// Names a widget after its caption (button, check box, option button,
// frame, or a label with a buddy). A name given in the form's design is
// kept.
void NameAfterCaption(QWidget* widget, const QString& caption);

// Lets the accessibility bus read `action` (a menu, or an item of a menu or
// the menu bar) by its caption without markers.
void ReadCaptionOfAction(QAction* action);

}  // namespace orvex
