#include "nowplaying/systemrunningapplications.h"

#import <AppKit/AppKit.h>

QList<RunningApplication> SystemRunningApplications::list() const
{
    QList<RunningApplication> applications;
    @autoreleasepool {
        for (NSRunningApplication *application in NSWorkspace.sharedWorkspace.runningApplications) {
            applications.append({application.processIdentifier,
                                 QString::fromNSString(application.localizedName ?: @""),
                                 QString::fromNSString(application.bundleIdentifier ?: @"")});
        }
    }
    return applications;
}
