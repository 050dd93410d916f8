// Found before the real header when compiling sorrel_core: the core must stay free of Qt Widgets.
#error "sorrel_core must not include Qt Widgets headers; put widget code in a *_widget.cpp or *_gui.cpp file"
