# The add-on's folders and their layers, bottom (1) to top (5). Code in a folder includes
# headers of its own folder and of folders in lower layers only; a call that must go upward
# goes through a function that the higher layer registers.
set(KORDELA_LAYERS
    core=1            # host services, folders, service addresses, messages, settings and key,
                      # library parts and their parameter records
    catalogue=2       # browser windows, requests, downloads, installation
    update=3          # the object update
    propertycloud=3   # the property clouds and their update
    settings=3        # the settings dialog
    palette=4         # the palette
    bridge=4          # the bridge dispatch: what the pages ask for, routed to a feature
    Kordela=5         # the entry points
)
