# What `cmake --install` puts where, in two components that are the two Debian packages
# (scripts/package.sh): "server" (acc00420-server, its service, its settings) and "backoffice"
# (the host, the module, the report tools). Each package carries the framework libraries it
# needs in its own private folder, so either installs without the other.

# Settings go to /etc for a system install (prefix /usr), else under the prefix, so that
# `cmake --install --prefix DIR` writes nothing outside DIR.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(config_destination ${ACC00420_CONFIG_DIR})
else()
  set(config_destination ${CMAKE_INSTALL_SYSCONFDIR}/acc00420)
endif()

# Programs find the libraries from where they stand, wherever the tree is unpacked; the
# libraries find each other beside themselves.
set_target_properties(backoffice acc00420-receipt acc00420-statement PROPERTIES INSTALL_RPATH "$ORIGIN/${ACC00420_LIBDIR_FROM_BIN}")
set_target_properties(acc00420-server PROPERTIES INSTALL_RPATH "$ORIGIN/${ACC00420_SERVER_LIBDIR_FROM_BIN}")
set_target_properties(framework_core framework_data framework_ui framework_report PKG_Acc00420 PROPERTIES INSTALL_RPATH "$ORIGIN")

# The server: no display needed, so only the framework's core and data layers.
install(TARGETS acc00420-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(TARGETS framework_core framework_data LIBRARY DESTINATION ${ACC00420_SERVER_LIBDIR} COMPONENT server NAMELINK_SKIP)
install(FILES packaging/acc00420-server.service DESTINATION lib/systemd/system COMPONENT server)
# It may hold the database password: the service's group reads it (postinst), nobody else.
install(FILES packaging/server.conf DESTINATION ${config_destination} COMPONENT server
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)
install(FILES docs/operations.md docs/protocol.md docs/ledger.md docs/security.md packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/acc00420-server COMPONENT server)

# The back office.
install(TARGETS backoffice acc00420-receipt acc00420-statement RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT backoffice)
install(TARGETS framework_core framework_data framework_ui framework_report PKG_Acc00420
        LIBRARY DESTINATION ${ACC00420_LIBDIR} COMPONENT backoffice NAMELINK_SKIP)
install(FILES packaging/backoffice.ini DESTINATION ${config_destination} COMPONENT backoffice)
install(FILES packaging/acc00420-backoffice.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT backoffice)
install(DIRECTORY Cli_acc00420/reports/ DESTINATION ${CMAKE_INSTALL_DATADIR}/acc00420/reports COMPONENT backoffice)
install(FILES packaging/copyright README.md docs/architecture.md docs/reports.md docs/ledger.md docs/statement.png docs/receipt.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/acc00420-backoffice COMPONENT backoffice)

# Two Debian packages, their library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "Acc00420")
set(CPACK_PACKAGE_CONTACT "Equipe Acc00420 <acc00420@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server backoffice)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/${ACC00420_LIBDIR} ${CMAKE_INSTALL_PREFIX}/${ACC00420_SERVER_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME acc00420-server)
set(CPACK_DEBIAN_SERVER_DESCRIPTION "Servidor de aplicação da conta cliente/consumidor
Guarda o razão das contas de clientes e consumidores (SQLite ou PostgreSQL) e atende
as telas da retaguarda. Roda como o serviço acc00420-server.")
# The Qt SQL drivers are plugins, which shlibdeps does not see.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser, init-system-helpers, libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/deb/server/postinst ${PROJECT_SOURCE_DIR}/packaging/deb/server/prerm
    ${PROJECT_SOURCE_DIR}/packaging/deb/server/postrm ${PROJECT_SOURCE_DIR}/packaging/deb/server/conffiles)
set(CPACK_DEBIAN_BACKOFFICE_PACKAGE_NAME acc00420-backoffice)
set(CPACK_DEBIAN_BACKOFFICE_DESCRIPTION "Retaguarda com a tela Manutenção Conta Cliente/Consumidor
O programa da retaguarda, o módulo da conta cliente/consumidor, os relatórios e as
ferramentas de recibo e extrato em PDF.")
set(CPACK_DEBIAN_BACKOFFICE_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_BACKOFFICE_PACKAGE_RECOMMENDS "libqt6sql6-psql, qt6-translations-l10n")
set(CPACK_DEBIAN_BACKOFFICE_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/backoffice/conffiles)
include(CPack)
