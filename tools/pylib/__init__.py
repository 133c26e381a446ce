"""The Python modules that the scripts, the sweeps and the tests share: machine_view (reads an
emulated machine from outside), converse (drives the scripted dialog of the host vkupdate) and
platform_calls (reads the table of platform calls). A program puts tools/ on its path and imports
them as pylib.NAME; machine_view.py and converse.py also run as commands."""
