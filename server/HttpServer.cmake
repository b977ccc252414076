# The connection server (the listening control stand-in and its window) and the HTTP
# server with its request connections.
