// Page handlers of the alias table: the menu and the build.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_TABLE_PAGES_H
#define LDAPCGI_ALIASTABLE_ALIAS_TABLE_PAGES_H

void AliasTableMenu();
void BuildAliasTable();

#endif
