# The web client, and the cookie, parameter and URL helpers.
