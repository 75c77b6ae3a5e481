#include "prompt/keyvaluebindings.h"

#include "prompt/promptlog_p.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>

#include <functional>
#include <optional>

namespace {

// The bindings of one control live as its children, so they end with it or
// with unbindControls(); every connection they make has them as its context.
class Binding : public QObject
{
    Q_OBJECT
public:
    Binding(QWidget *control, QObject *owner)
        : QObject(control)
        , m_owner(owner)
    { }

    [[nodiscard]] QObject *owner() const { return m_owner; }

    // 'apply' runs now and after every change of the key the owner reports.
    void follow(const QMetaProperty &property, std::function<void(const QVariant &)> apply)
    {
        m_property = property;
        m_apply = std::move(apply);
        if (property.hasNotifySignal()) {
            static const QMetaMethod refresh
                = staticMetaObject.method(staticMetaObject.indexOfSlot("refresh()"));
            connect(m_owner, property.notifySignal(), this, refresh);
        }
        refresh();
    }

    // Writes the user's change through the owner's accessor.
    void write(const QMetaProperty &property, const QVariant &value) const
    {
        if (m_owner)
            (void)property.write(m_owner, value);
    }

    // Applies the key again whenever the control is shown or moves to
    // another screen, for an icon drawn at that screen's pixel ratio.
    void followScreen() { parent()->installEventFilter(this); }

public Q_SLOTS:
    void refresh()
    {
        if (m_owner && m_apply)
            m_apply(m_property.read(m_owner));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent()
            && (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal))
            refresh();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QObject> m_owner;
    QMetaProperty m_property;
    std::function<void(const QVariant &)> m_apply;
};

void complain(const QWidget *control, const QString &what)
{
    qCWarning(lcPrompt).noquote()
        << QStringLiteral("The control \"%1\" %2").arg(control->objectName(), what);
}

// The owner's property named by the control's dynamic property 'binding';
// absent when the control declares none. 'complete' turns false when the
// owner has no such key.
std::optional<QMetaProperty> boundKey(const QWidget *control, const QObject *owner,
                                      const char *binding, bool &complete)
{
    const QString key = control->property(binding).toString();
    if (key.isEmpty())
        return std::nullopt;
    const QMetaObject *meta = owner->metaObject();
    const int index = meta->indexOfProperty(key.toUtf8().constData());
    if (index < 0) {
        complain(control,
                 QStringLiteral("binds %1 to the key \"%2\", which %3 does not have")
                     .arg(QLatin1String(binding), key, QLatin1String(meta->className())));
        complete = false;
        return std::nullopt;
    }
    return meta->property(index);
}

// The owner's action of that name: an invokable method taking the sender.
QMetaMethod boundAction(const QObject *owner, const QString &name)
{
    const QMetaObject *meta = owner->metaObject();
    const QByteArray wanted = name.toUtf8();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.name() == wanted && method.methodType() != QMetaMethod::Signal
            && method.parameterCount() == 1 && method.parameterType(0) == QMetaType::QObjectStar)
            return method;
    }
    return {};
}

// The text with "%1" in the pattern standing for it; the text alone when
// there is no pattern.
QString withPattern(const QString &pattern, const QString &text)
{
    return pattern.isEmpty() ? text : pattern.arg(text);
}

void showValue(QLabel *label, const QString &pattern, const QString &ownName, const QVariant &value)
{
    if (value.typeId() == QMetaType::QIcon) {
        QSize size = label->minimumSize();
        if (size.isEmpty())
            size = QSize(64, 64);
        label->setPixmap(value.value<QIcon>().pixmap(size, label->devicePixelRatioF()));
        return;
    }
    const QString text = value.toString();
    QString shown = text;
    // Texts from a disc can be of any length: one wider than its label may
    // be is cut in the middle, so it never pushes the window off the screen.
    if (const int width = label->maximumWidth(); width < QWIDGETSIZE_MAX)
        shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, width);
    label->setText(withPattern(pattern, shown));
    // A screen reader has no screen to run out of: it gets the whole text.
    // A name of the description's own, or one bound to a key, stays.
    if (ownName.isEmpty() && !label->property("accessibleNameKey").isValid())
        label->setAccessibleName(shown == text ? QString() : withPattern(pattern, text));
}

bool bindValue(QWidget *control, QObject *owner, const QMetaProperty &key)
{
    if (auto *label = qobject_cast<QLabel *>(control)) {
        label->setTextFormat(Qt::PlainText);
        auto *binding = new Binding(control, owner);
        binding->follow(key,
                        [label, pattern = label->property("displayPattern").toString(),
                         ownName = label->accessibleName()](const QVariant &value) {
                            showValue(label, pattern, ownName, value);
                        });
        binding->followScreen();
        return true;
    }
    auto *button = qobject_cast<QAbstractButton *>(control);
    if (!button || !button->isCheckable()) {
        complain(control, QStringLiteral("has a valueKey but shows no text, icon or setting"));
        return false;
    }
    auto *binding = new Binding(control, owner);
    binding->follow(key, [button](const QVariant &value) { button->setChecked(value.toBool()); });
    QObject::connect(button, &QAbstractButton::toggled, binding,
                     [binding, key](bool checked) { binding->write(key, checked); });
    return true;
}

bool bindPopup(QWidget *control, QObject *owner, const std::optional<QMetaProperty> &content,
               const std::optional<QMetaProperty> &selection)
{
    auto *popup = qobject_cast<QComboBox *>(control);
    if (!popup) {
        complain(control, QStringLiteral("has a content or selection key but is no pop-up"));
        return false;
    }
    // The chosen item as the owner holds it, or none when it is no item's.
    const auto select = [popup](const QVariant &index) {
        const int position = index.toInt();
        popup->setCurrentIndex(position >= 0 && position < popup->count() ? position : -1);
    };
    if (content) {
        const QString valuesKey = control->property("contentValuesKey").toString();
        auto *binding = new Binding(control, owner);
        binding->follow(
            *content, [popup, valuesKey, selection, binding, select](const QVariant &list) {
                popup->clear();
                for (const QVariant &entry : list.toList())
                    popup->addItem(valuesKey.isEmpty() ? entry.toString()
                                                       : entry.toMap().value(valuesKey).toString());
                if (selection && binding->owner())
                    select(selection->read(binding->owner()));
            });
    }
    if (selection) {
        auto *binding = new Binding(control, owner);
        binding->follow(*selection, select);
        // Only what the user chooses goes back; the owner's own changes
        // arrive through follow() and must not echo.
        QObject::connect(popup, &QComboBox::activated, binding,
                         [binding, key = *selection](int index) { binding->write(key, index); });
    }
    return true;
}

bool bindAction(QWidget *control, QObject *owner)
{
    const QString name = control->property("action").toString();
    if (name.isEmpty())
        return true;
    auto *button = qobject_cast<QAbstractButton *>(control);
    const QMetaMethod action = boundAction(owner, name);
    if (!button || !action.isValid()) {
        complain(control,
                 QStringLiteral("sends the action \"%1\", which %2 cannot receive from it")
                     .arg(name, QLatin1String(owner->metaObject()->className())));
        return false;
    }
    auto *binding = new Binding(control, owner);
    QObject::connect(button, &QAbstractButton::clicked, binding, [binding, action, button] {
        if (QObject *receiver = binding->owner())
            (void)action.invoke(receiver, Qt::DirectConnection,
                                Q_ARG(QObject *, static_cast<QObject *>(button)));
    });
    return true;
}

bool bindControl(QWidget *control, QObject *owner)
{
    bool complete = true;
    if (const auto key = boundKey(control, owner, "valueKey", complete))
        complete &= bindValue(control, owner, *key);

    const auto content = boundKey(control, owner, "contentKey", complete);
    const auto selection = boundKey(control, owner, "selectedIndexKey", complete);
    if (content || selection)
        complete &= bindPopup(control, owner, content, selection);

    const struct
    {
        const char *binding;
        void (QWidget::*apply)(bool);
    } states[] = {
        { "enabledKey", &QWidget::setEnabled },
        { "visibleKey", &QWidget::setVisible },
        { "hiddenKey", &QWidget::setHidden },
    };
    for (const auto &state : states) {
        if (const auto key = boundKey(control, owner, state.binding, complete)) {
            auto *binding = new Binding(control, owner);
            binding->follow(*key, [control, apply = state.apply](const QVariant &value) {
                (control->*apply)(value.toBool());
            });
        }
    }

    if (const auto key = boundKey(control, owner, "accessibleNameKey", complete)) {
        auto *binding = new Binding(control, owner);
        binding->follow(
            *key,
            [control, ownName = control->accessibleName(),
             pattern
             = control->property("accessibleNamePattern").toString()](const QVariant &value) {
                const QString text = value.toString();
                control->setAccessibleName(text.isEmpty() ? ownName : withPattern(pattern, text));
            });
    }

    complete &= bindAction(control, owner);
    return complete;
}

} // namespace

bool bindControls(QWidget *window, QObject *owner)
{
    bool complete = bindControl(window, owner);
    for (QWidget *control : window->findChildren<QWidget *>())
        complete &= bindControl(control, owner);
    return complete;
}

void unbindControls(QWidget *window)
{
    qDeleteAll(window->findChildren<Binding *>());
}

#include "keyvaluebindings.moc"
