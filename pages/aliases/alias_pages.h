// Page handlers of mail aliases: the four alias forms (new, view, edit,
// delete confirmation) and the two changes (add or replace, delete). Each
// prints one complete page and returns the process's exit status.
#ifndef LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H
#define LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H

int NewAlias(const char* mail);
int ViewAlias(const char* mail, const char* mailAlias);
int EditAlias(const char* mail, const char* mailAlias);
int DeleteAlias(const char* mail, const char* mailAlias);
int ConfirmDeleteAlias(const char* mail, const char* mailAlias);
int UpdateAlias(const char* mail, const char* mailAlias, const char* oldMailAlias);

#endif
