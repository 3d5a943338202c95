ECHO/中文
CREAT_FILE/a/0/1/b/0/1/c
