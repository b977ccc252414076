# The event socket and the socket module (with the host cache and the SSL loader).
