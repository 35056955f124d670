#pragma once

// The views' ways into the dialogs: each view is handed the dialogs its commands open. The main
// window does this for every view it creates; a test that builds a view alone does the same to
// drive the real dialogs.

struct ViewLinks;
class TLayoutMainFM;
class TNetComputerFM;
class TNetUserFM;

// The catalogue dialogs of the model, document, consumables and search views, and of the placement
// view's chain menu.
void ConnectDialogs(ViewLinks &links);
// The placement view's edit, element and move dialogs, and its chain menu.
void ConnectDialogs(TLayoutMainFM &view);
// The ping sweep.
void ConnectDialogs(TNetComputerFM &view);
// The domain scan, the user and checklist dialogs and the set-up lists.
void ConnectDialogs(TNetUserFM &view);
