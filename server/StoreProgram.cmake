# The store request handler, the server window, the start routine and the program.
