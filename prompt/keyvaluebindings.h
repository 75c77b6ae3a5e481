// Bindings between the controls of a loaded window and the keys and actions
// of the object that owns the window. A window description declares them as
// dynamic properties of each control (stdset="0" in the .ui):
//
//   valueKey          QLabel: shows the key: text (always as plain text, so
//                     a disc's label can never turn into markup; elided in
//                     the middle where wider than the label's maximum width,
//                     the whole text then its accessible name)
//                     or an icon, drawn at the label's minimum size for its
//                     screen.
//                     Checkable QAbstractButton: checked, both ways (bool).
//   displayPattern    With valueKey on a QLabel: the text shown, "%1"
//                     standing for the value.
//   contentKey        QComboBox: one item for each entry of the key's list...
//   contentValuesKey  ...its text the entry's value for this key.
//   selectedIndexKey  QComboBox: the chosen item's position, both ways (int).
//   enabledKey        The control is enabled while the key (bool) holds...
//   visibleKey        ...shown while it holds...
//   hiddenKey         ...hidden while it holds.
//   action            QAbstractButton: a click calls the owner's invokable
//                     method of that name with the control as its argument.
//   accessibleNameKey Any control: its accessible name follows the key's
//                     text, with "%1" in accessibleNamePattern standing for
//                     it; while the text is empty, the name the description
//                     gave it.
//
// Values follow the owner's NOTIFY signals; what the user changes is written
// back through the owner's WRITE accessors, never to a field.
#pragma once

class QObject;
class QWidget;

// Binds 'window' and every control in it to 'owner', which must outlive the
// bindings or end them with unbindControls(). A binding whose key or action
// the owner lacks is left out and said in the log; false when any was.
[[nodiscard]] bool bindControls(QWidget *window, QObject *owner);

// Ends every binding of 'window' and its controls: from then on nothing in
// the window reaches the owner.
void unbindControls(QWidget *window);
