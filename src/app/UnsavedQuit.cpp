#include "app/UnsavedQuit.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/OwnWindows.h"

QString UnsavedQuit::headline(Loss loss)
{
    return loss == Loss::everyNote ? QStringLiteral("None of your notes are saved.")
                                   : QStringLiteral("Your latest changes aren\u2019t saved.");
}

QString UnsavedQuit::explanation(const QString& failure, Loss loss)
{
    // Room on the disk helps only when the disk is full; otherwise the failure names what to put right.
    const bool diskFull = failure.contains(QLatin1String("disk is full"), Qt::CaseInsensitive) ||
                          failure.contains(QLatin1String("No space left"), Qt::CaseInsensitive);
    // With the notes file gone, the process holds the only copy of every note.
    const QString lost =
        loss == Loss::everyNote ? QStringLiteral("every note is lost") : QStringLiteral("they are lost");
    return (diskFull ? QStringLiteral("Tarnwick couldn\u2019t save them: %1. Make room on the disk and save again; if "
                                      "you quit now, %2.")
                     : QStringLiteral("Tarnwick couldn\u2019t save them: %1. Put that right and save again; if you "
                                      "quit now, %2."))
        .arg(failure, lost);
}

UnsavedQuit::Choice UnsavedQuit::ask(const QString& failure, Loss loss, FocusReturn giveBack)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), headline(loss));
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(explanation(failure, loss));
    // The failure comes from the database: never read as markup.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QPushButton* again = box.addButton(QStringLiteral("Save Again"), QMessageBox::AcceptRole);
    QPushButton* quit = box.addButton(QStringLiteral("Quit Anyway"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(again);
    box.setEscapeButton(QMessageBox::Cancel);
    // Asked from the tray or the shelf, with no window of ours as its parent: it would come up under
    // the settings and the notes.
    OwnWindows::adoptQuestion(&box);
    // Handed on while the question still has the keyboard to hand: once it has closed, no window of
    // ours has it, and it is not taken back from wherever the window manager left it.
    QObject::connect(&box, &QMessageBox::buttonClicked, &box, [&giveBack, cancel](QAbstractButton* button) {
        if (button == cancel) giveBack.restore();
    });
    box.exec();
    const QAbstractButton* chosen = box.clickedButton();
    if (chosen == again) return Choice::saveAgain;
    if (chosen == quit) return Choice::quitAnyway;
    return Choice::keepRunning;
}
