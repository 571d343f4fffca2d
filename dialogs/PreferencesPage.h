// The common base of the option pages: each page reads its settings from the sheet's private copy
// of the settings store when its window is made and writes them back in Save, which runs when the
// page is left or when OK is pressed while it is the active page. A FALSE Save keeps the page
// active, so the tab change or the OK is refused.
#pragma once

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Mutex.h"
#include "core/prefs/Preferences.h"
#include "platform/ui/PropertySheet.h"

#include <QString>

class CPreferencesPage : public CPropertyPageImplBase {
public:
    CPreferencesPage(WORD templateId, const QString& title);

    // Validates the controls, takes their values and writes them into *m_pPrefs.
    virtual BOOL Save() = 0;

    BOOL OnKillActive() override { return Save() ? FALSE : TRUE; }

    // The store the page reads and writes; the sheet points it at its copy before any page
    // window exists. Never owned.
    CPreferences* m_pPrefs = nullptr;

protected:
    // Runs one read or write of the page's settings under the copy's lock. A setting the store
    // does not hold is a programming error: it is traced as "<where>. Exception: <text>." and the
    // page goes on as if the step had completed.
    template <typename Body> void WithPrefs(DWORD traceLevel, const char16_t* where, Body&& body)
    {
        try {
            CMutexLocker lock(m_pPrefs->m_mutex);
            body(*m_pPrefs);
        } catch (CCmnException& e) {
            TracePageFailure(traceLevel, where, e);
        }
    }

    // The open-file dialog the pages' Browse buttons show (filter pairs as the layer's file dialog
    // takes them); the full path picked, or a null string when the user cancelled.
    static QString PickFile(const char16_t* defaultExtension, const char16_t* filter);

    // Enables or disables the page's controls of the given ids together.
    void EnableControls(std::initializer_list<int> ids, bool enable);

private:
    static void TracePageFailure(DWORD traceLevel, const char16_t* where, CCmnException& e);
};

// In a page's source file, after TRACE_MODULE: the page's own trace level for WithPrefs.
#define PAGE_TRACE_LEVEL s_dwTraceModuleLevel
