// The application object: runs the main dialog modally and ends the program when it closes.
#pragma once

class CDownloaderApp {
public:
    // Runs the main dialog; returns false so that the program ends when the dialog closes.
    bool InitInstance();
};
