#pragma once
// The item dialogs are shared: one instance each, kept between showings.
#include <QCoreApplication>

// The one instance of a shared dialog: made by create on first use (create runs where the
// constructor is accessible), deleted with the application object.
template <typename Dialog, typename Create> Dialog& SharedDialog(Create create)
{
    static Dialog* shared = nullptr;
    if (!shared) {
        shared = create();
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    return *shared;
}
