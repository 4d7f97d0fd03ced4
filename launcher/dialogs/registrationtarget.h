#pragma once

#include "apps/packapp.h"

#include <QString>

namespace vadok {

// The main window's registration commands, as the dropped-item dialog uses them.
class RegistrationTarget {
public:
    virtual ~RegistrationTarget() = default;

    // A title for a new application that takes nothing from an existing one: title itself
    // when it is free, else the name the user enters instead. Empty when the user declines.
    virtual QString claimTitle(const QString& title) = 0;
    // Registers the application installed in folder (title empty: the folder's name).
    virtual void NewApp(const QString& folder, const QString& title) = 0;
    // Opens the property editor for a new application whose archive is in place.
    virtual EditOutcome NewAppCore(const QString& title) = 0;
    // Registers a program that stays where it is as a shortcut entry; true when saved.
    virtual bool NewAppShortCut(const QString& title, const QString& command,
                                const QString& baseFolder) = 0;

    // Whether the catalog is still being read: until then no application can be chosen.
    virtual bool catalogLoading() const = 0;
    // Whether the catalog holds an application a version-up could bring up to date.
    virtual bool holdsApplications() const = 0;
    // Opens the property editor for an application whose expanded folder holds a new version
    // the archive does not hold yet (a new name takes the folder along, as every rename does).
    virtual EditOutcome EditUpdatedApp(PackApp& app) = 0;
};

} // namespace vadok
