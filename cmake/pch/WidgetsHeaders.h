// The Qt Gui and Widgets headers the window and its tests include most (cmake/Precompiled.cmake).
#pragma once

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
