# Included from src/CMakeLists.txt: builds the .ts files into .qm and embeds them in vd_ui. They are not
# installed: the program reads only its embedded copy.
#
# The texts are written in Japanese; variredu-divar_en.ts carries the English ones. To pick up new or
# changed texts, build the target update_translations, then fill in the new entries.

# lupdate reads the sources of every target that may call tr(). Spelled out because its default
# (the target's own relative paths) would be resolved against this file's directory, not src/.
set(vd_translatable_sources "")
foreach(vd_target IN ITEMS vd_ui vd_app variredu-divar)
    get_target_property(vd_target_sources ${vd_target} SOURCES)
    list(APPEND vd_translatable_sources ${vd_target_sources})
endforeach()

# Qt 6.4 embeds the .qm files itself only when their paths are not asked for; we want both, so
# embed them here.
qt_add_translations(vd_ui
    TS_FILES ${CMAKE_CURRENT_LIST_DIR}/variredu-divar_en.ts
    SOURCES ${vd_translatable_sources}
    LUPDATE_OPTIONS -locations none -no-obsolete
    QM_FILES_OUTPUT_VARIABLE vd_qm_files
)

# For a static vd_ui, Qt builds the resource as an object library that every executable linking
# vd_ui links in, so the translations reach the program without Q_INIT_RESOURCE. (OUTPUT_TARGETS
# would only be needed to install or export vd_ui itself, which we don't.)
qt_add_resources(vd_ui vd_ui_translations
    PREFIX /i18n
    BASE ${CMAKE_CURRENT_BINARY_DIR}
    FILES ${vd_qm_files}
)
