#pragma once
#define IDI_ORVANE 1
#define IDB_PICTURE 2
