// The dialog template tables of the program, one per subsystem; RegisterResources calls them all.
#pragma once

namespace taluvo::res::templates {

void RegisterOptionPageTemplates(); // the options sheet's pages
void RegisterPageDialogTemplates(); // about box, group and page dialogs
void RegisterMailTemplates(); // e-mail test dialog
void RegisterImportTemplates(); // bookmark import wizard
void RegisterCrashTemplates(); // crash dialog

} // namespace taluvo::res::templates
