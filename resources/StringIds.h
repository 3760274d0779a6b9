#pragma once
// Ids of the program's string table. Read by the resource compiler too, so plain #defines only.
// Ranges: 2000-2099 sign-up and HTTP transfer.

// Local texts that replace the sign-up service's messages (also the input hints' texts).
#define IDS_ENTER_FIRST_NAME 2000
#define IDS_LATIN_FIRST_NAME 2001
#define IDS_ENTER_LAST_NAME 2002
#define IDS_LATIN_LAST_NAME 2003
#define IDS_ENTER_EMAIL 2004
#define IDS_EMAIL_CORRECTLY 2005

// HTTP transfer.
#define IDS_REQUEST_CANCELLED 2050
#define IDS_INCOMPLETE_DOWNLOAD 2051
#define IDS_CANNOT_CREATE_FILE 2052
#define IDS_INTERNET_ERROR 2053
#define IDS_HTTP_STATUS 2054
#define IDS_REPLY_TOO_LARGE 2055
#define IDS_INCOMPLETE_REPLY 2056
