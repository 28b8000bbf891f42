// kestova-flash's command line: what to do, on which ports, with which image. Parsing is pure
// (no files, ports or network are touched), so every decision here is table-tested.
#pragma once

#include <string>
#include <vector>

struct FlashOptions {
    enum class EAction { Update, List, Doctor, Identify, EchoTest, History, Help, Version, Error };
    static constexpr int DEFAULT_TIMEOUT_S = 20;

    EAction action = EAction::Update;
    std::vector<std::string> ports; // --port, in the order given, each once
    std::string strFile;            // --file
    bool bWeb = false;              // --web
    std::string strService;         // --service, normalised (no trailing '/')
    std::string strLogPath;         // --log; empty: the default support log
    std::string strSerial;          // --serial, with --history: that unit's records only
    int nTimeoutS = DEFAULT_TIMEOUT_S;
    bool bYes = false;
    bool bJson = false;
    bool bVerbose = false;
    bool bQuiet = false;            // errors only
    bool bFix = false;              // --doctor --fix: offer the udev rule's fix
    std::string strError;           // what was wrong, for EAction::Error
};

FlashOptions ParseFlashOptions(const std::vector<std::string>& args);

std::string FlashUsage();
std::string FlashVersionText();
