// The window a user is typing in when a disc comes, for the demo: a dialog
// titled "Notes" with one line to type in. It prints each change of its
// text to standard output, so that the demo knows the keys reached it.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QDialog window;
    window.setWindowTitle(QStringLiteral("Notes"));
    auto *notes = new QLineEdit(&window);
    notes->setAccessibleName(QStringLiteral("Notes"));
    notes->setMinimumWidth(400);
    (new QVBoxLayout(&window))->addWidget(notes);
    QObject::connect(notes, &QLineEdit::textChanged, [](const QString &text) {
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    window.show();
    return QApplication::exec();
}
